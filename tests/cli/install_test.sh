#!/usr/bin/env bash
# install_test.sh BUILD_DIR: an install into a staging folder holds the tool, a manual page that
# man shows with every option and exit status, and completions that bash and zsh load.
set -euo pipefail
build=$1
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR=$stage cmake --install "$build" --prefix /usr >/dev/null
fail() { echo "install_test: $*" >&2; exit 1; }
[ -x "$stage/usr/bin/zumibo-fit" ] || fail "no /usr/bin/zumibo-fit"
"$stage/usr/bin/zumibo-fit" --version | grep -q '^zumibo-fit ' || fail "the installed tool does not run"
page=$(MANWIDTH=200 man -l "$stage/usr/share/man/man1/zumibo-fit.1" 2>&1) || fail "man cannot show the page"
# Every option the tool has is in the page, and every exit status.
for option in $("$stage/usr/bin/zumibo-fit" --help | grep -o -- '--[a-z][a-z0-9-]*' | sort -u); do
  grep -q -- "$option" <<<"$page" || fail "the manual page lacks $option"
done
for status in 0 1 2 3 130; do grep -qE "^ +$status\b" <<<"$page" || fail "the manual page lacks exit status $status"; done
bash -c ". '$stage/usr/share/bash-completion/completions/zumibo-fit' && complete -p zumibo-fit" >/dev/null ||
  fail "bash does not load the completion"
grep -q '^#compdef zumibo-fit' "$stage/usr/share/zsh/site-functions/_zumibo-fit" || fail "no zsh completion"
echo "install_test: binary, manual page and completions in place"
