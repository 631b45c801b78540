#!/usr/bin/env bash
# The .deb as Debian's own tools judge it: lintian finds no error and no
# warning, desktop-file-validate passes both desktop entries, and each manual
# page is exactly what help2man makes of the packaged program's --help (so a
# page cannot drift from the program it describes).
# Usage: lint_test.sh tarvo_6_VERSION_amd64.deb
set -euo pipefail
deb=$(realpath "$1")
root=$(cd "$(dirname "$0")/../.." && pwd)
fail() { echo "FAIL: $*"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# No overrides are shipped: every tag lintian would raise is mended instead.
status=0
lintian --fail-on error,warning --tag-display-limit 0 "$deb" >"$work/lintian.txt" 2>&1 || status=$?
if [ $status -ne 0 ] || grep -qE '^(E|W): ' "$work/lintian.txt"; then
  cat "$work/lintian.txt"
  fail "lintian reports errors or warnings on $(basename "$deb") (status $status)"
fi

tree=$work/tree
dpkg-deb -x "$deb" "$tree"
version=$(dpkg-deb -f "$deb" Version)
entries=("$tree"/usr/share/applications/*.desktop)
[ ${#entries[@]} -eq 2 ] || fail "expected two desktop entries, found ${#entries[@]}"
for entry in "${entries[@]}"; do
  out=$(desktop-file-validate "$entry" 2>&1) || fail "$(basename "$entry"): $out"
  [ -z "$out" ] || fail "$(basename "$entry"): $out"
done
grep -qx 'Name=tarvo_6 (training)' "$tree/usr/share/applications/tarvo_6-training.desktop" ||
  fail "no desktop entry named \"tarvo_6 (training)\""

# Each page made again from the packaged program; the date line aside, it
# must be the packaged page byte for byte.
for pair in tarvo_6:usr/lib/tarvo_6/tarvo_6 dispenser-sim:usr/bin/dispenser-sim; do
  page=${pair%%:*}
  program=$tree/${pair#*:}
  packaged=$tree/usr/share/man/man1/$page.1.gz
  [ -f "$packaged" ] || fail "no manual page $page(1)"
  summary=$(zcat "$packaged" | sed -n '/^\.SH NAME$/{n;s/^[^ ]* \\- //p}')
  [ -n "$summary" ] || fail "$page(1) has no NAME line"
  "$root/scripts/man-page.sh" "$program" "$summary" "$version" "$work/$page.1.gz"
  diff <(zcat "$packaged" | grep -v '^\.TH ') <(zcat "$work/$page.1.gz" | grep -v '^\.TH ') ||
    fail "$page(1) is not what its --help makes"
  text=$(zcat "$packaged" | sed 's/\\-/-/g')
  for option in $(cd "$work" && "$program" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    grep -q -- "$option" <<<"$text" || fail "$page(1) lacks $option"
  done
done
echo "$(basename "$deb"): lintian clean, desktop entries valid, manual pages from --help"
