#!/usr/bin/env bash
# Checks a compiled help file: it opens with a CHM reader (extract_chmLib, Debian's
# libchm-bin), holds every page of docs/help and every picture the pages show, and its
# table of contents and its index name only pages that are in it, the contents every page.
#
#   tests/installer/check_help.sh Velmora.chm
#
# Prints "N passed, N failed" and exits non-zero on any failure.
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
chm="$(realpath "${1:?usage: check_help.sh Velmora.chm}")"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
passed=0 failed=0
check() {
  local what=$1
  shift
  if "$@" >/dev/null 2>&1; then passed=$((passed + 1)); echo "ok   $what"; else failed=$((failed + 1)); echo "FAIL $what"; fi
}
in_toc() { grep -q "value=\"$1\"" "$out/Velmora.hhc"; }

check "the help file opens" extract_chmLib "$chm" "$out"
check "it has a system block" test -f "$out/#SYSTEM"
check "it has a table of contents" test -f "$out/Velmora.hhc"
for page in "$root"/docs/help/*.html; do
  name="$(basename "$page")"
  check "$name is in the file" test -f "$out/$name"
  check "$name is in the table of contents" in_toc "$name"
  for img in $(grep -o 'src="images/[^"]*"' "$page" | sed 's/src="//; s/"$//'); do
    if [ -f "$root/docs/screenshots/$(basename "$img")" ] || [ -f "$root/docs/help/$img" ]; then
      check "$name: $img is in the file" test -f "$out/$img"
    fi
  done
done
for target in $(grep -oh 'name="Local" value="[^"]*"' "$out/Velmora.hhc" "$out/Velmora.hhk" | sed 's/.*value="//; s/"$//' | sort -u); do
  check "contents/index target $target exists" test -f "$out/$target"
done
echo "$passed passed, $failed failed"
((failed == 0))
