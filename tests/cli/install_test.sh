#!/usr/bin/env bash
# install_test.sh BUILD_DIR: an install into a staging folder holds the tool, a manual page that
# man shows with every option and exit status of --help, and completions that bash and zsh load
# and that offer every option --help lists: all three are written from one definition.
set -euo pipefail
build=$1
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR=$stage cmake --install "$build" --prefix /usr >/dev/null
fail() { echo "install_test: $*" >&2; exit 1; }
tool=$stage/usr/bin/zumibo-fit
[ -x "$tool" ] || fail "no /usr/bin/zumibo-fit"
"$tool" --version | grep -q '^zumibo-fit ' || fail "the installed tool does not run"
page=$(MANWIDTH=200 man -l "$stage/usr/share/man/man1/zumibo-fit.1" 2>&1) || fail "man cannot show the page"
grep -qi 'warning' <<<"$page" && fail "man warns: $(grep -i warning <<<"$page" | head -1)"
help=$("$tool" --help)
options=$(grep -o -- ' --[a-z][a-z0-9-]*' <<<"$help" | sort -u)
bash_file=$stage/usr/share/bash-completion/completions/zumibo-fit
zsh_file=$stage/usr/share/zsh/site-functions/_zumibo-fit
offered=$(bash -c ". '$bash_file' && COMP_WORDS=(zumibo-fit --) COMP_CWORD=1 && _zumibo_fit && echo \${COMPREPLY[*]}")
for option in $options; do
  grep -q -- "$option" <<<"$page" || fail "the manual page lacks $option"
  grep -qw -- "$option" <<<"$offered" || fail "bash does not complete $option"
  grep -q -- "$option\[" "$zsh_file" || grep -q -- ",$option}" "$zsh_file" || fail "zsh does not complete $option"
done
# Every exit status --help gives is in the page.
for status in $(sed -n '/^Exit status:/,$p' <<<"$help" | awk 'NR > 1 && /^  [0-9]/ {print $1}'); do
  grep -qE "^ +${status//+/\\+}( |$)" <<<"$page" || fail "the manual page lacks exit status $status"
done
bash -c ". '$bash_file' && complete -p zumibo-fit" >/dev/null || fail "bash does not load the completion"
grep -q '^#compdef zumibo-fit' "$zsh_file" || fail "no zsh completion"
zsh -n "$zsh_file" || fail "zsh cannot read the completion"
echo "install_test: binary, manual page and completions in place, and they agree with --help"
