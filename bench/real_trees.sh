#!/usr/bin/env bash
# real_trees.sh ZUMIBO_FIT: this machine's /usr/share and /usr/lib planned for CD, DVD and BD 25
# with path lists, for ISO 9660 + Joliet + Rock Ridge and with a UDF bridge; every list mastered
# with the command zumibo-fit prints (genisoimage -print-size) and held against the disc; the disc
# counts beside dirsplit's (its default ISO catalogs) and fpart's (sizes as they are).
set -uo pipefail
fit=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '%-11s %-6s %-4s %7s %10s %12s %15s %9s %6s\n' tree disc fs discs status "lists ok" "closest (sect)" dirsplit fpart
for tree in /usr/share /usr/lib; do
  [ -d "$tree" ] || continue
  for disc in cd700:360000:700M dvd:2295104:4482M bd25:12219392:23866M; do
    IFS=: read -r name sectors dsize <<<"$disc"
    bytes=$((sectors * 2048))
    ds=$(cd "$work" && rm -rf ds && mkdir ds && cd ds && dirsplit -s "$dsize" -p v "$tree" >/dev/null 2>&1; ls "$work/ds" 2>/dev/null | wc -l)
    [ "$ds" = 0 ] && ds=refused
    fp=$(fpart -s "$bytes" "$tree" 2>/dev/null | awk '{print $1}' | sort -u | wc -l)
    for fs in iso udf; do
      rm -rf "$work/lists"
      "$fit" -c "$name" --fs "$fs" --all --path-lists "$work/lists" "$tree" >"$work/out" 2>"$work/err"
      status=$?
      command=$(sed -n 's/.*master disc N with \(.*discN\.list\).*/\1/p' "$work/err")
      count=$(grep -o '^[0-9,]* discs\? ([^)]*)' "$work/out" | head -1)
      ok=0 all=0 closest=999999999
      for list in "$work"/lists/disc*.list; do
        [ -f "$list" ] || continue
        all=$((all + 1))
        size=$(${command% *} "$list" -quiet -print-size 2>/dev/null | tail -1)
        if [ -n "$size" ] && [ "$size" -le "$sectors" ]; then
          ok=$((ok + 1))
          [ $((sectors - size)) -lt "$closest" ] && closest=$((sectors - size))
        fi
      done
      printf '%-11s %-6s %-4s %7s %10s %12s %15s %9s %6s\n' "$tree" "$name" "$fs" "${count%% *}" "exit $status" "$ok of $all" "$closest" "$ds" "$fp"
    done
  done
done
