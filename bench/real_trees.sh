#!/usr/bin/env bash
# real_trees.sh ZUMIBO_FIT: this machine's /usr, /usr/share, /usr/lib and /usr/include planned for
# CD, DVD and BD 25, walked and from a list (find -printf), with path lists; every list mastered
# with the command zumibo-fit prints (-print-size) and held against the disc; the disc count
# beside its lower bound, beside first fit decreasing with the same per-disc accounting
# (--first-fit-only), and beside dirsplit's (its default ISO catalogs) and fpart's (sizes as they
# are) for the walked trees. --quick: /usr/include only.
set -uo pipefail
fit=$1
trees="/usr /usr/share /usr/lib /usr/include"
[ "${2:-}" = --quick ] && trees=/usr/include
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '%-12s %-5s %-6s %6s %6s %6s %8s %9s %13s %8s %6s\n' tree disc input discs bound "ff" status "lists ok" \
  "closest sect" dirsplit fpart
for tree in $trees; do
  [ -d "$tree" ] || continue
  find "$tree" -type f -printf '%s\t%p\n' >"$work/list" 2>/dev/null
  for disc in cd700:359849:700M dvd:2295104:4482M bd25:12219392:23866M; do
    IFS=: read -r name sectors dsize <<<"$disc"
    bytes=$((sectors * 2048))
    ds=$(cd "$work" && rm -rf ds && mkdir ds && cd ds && dirsplit -s "$dsize" -p v "$tree" >/dev/null 2>&1; ls "$work/ds" 2>/dev/null | wc -l)
    [ "$ds" = 0 ] && ds=refused
    fp=$(fpart -s "$bytes" "$tree" 2>/dev/null | awk '{print $1}' | sort -u | wc -l)
    for input in walked listed; do
      if [ $input = walked ]; then source=("$tree"); else source=(--list "$work/list"); fi
      ff=$("$fit" -c "$name" --all -q --first-fit-only "${source[@]}" 2>/dev/null | grep -o '^[0-9,]* discs\?' | tail -1)
      rm -rf "$work/lists"
      "$fit" -c "$name" --all --path-lists "$work/lists" "${source[@]}" >"$work/out" 2>"$work/err"
      status=$?
      command=$(sed -n 's/.*master disc N with \(.*discN\.list\).*/\1/p' "$work/err")
      count=$(grep -o '^[0-9,]* discs\? ([^)]*)' "$work/out" | tail -1)
      bound=$(sed -n 's/.*(lower bound \([0-9,]*\)).*/\1/p' <<<"$count")
      [ -z "$bound" ] && bound="${count%% *}"
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
      [ $input = listed ] && { d=-; f=-; } || { d=$ds; f=$fp; }
      printf '%-12s %-5s %-6s %6s %6s %6s %8s %9s %13s %8s %6s\n' "$tree" "$name" $input "${count%% *}" "$bound" \
        "${ff%% *}" "exit $status" "$ok of $all" "$closest" "$d" "$f"
    done
  done
done
