#!/usr/bin/env bash
# `cmake --install` puts the program, the logo and the catalog in one folder,
# and a desktop entry that starts the program there, with its icon.
# Usage: install_test.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "FAIL: $*"; exit 1; }
folder=$(dirname "$(find "$prefix" -type f -name tarvo_6 -perm -u+x | head -n1)")
[ -n "$folder" ] && [ "$folder" != . ] || fail "no tarvo_6 installed"
cmp "$folder/qv.bmp" "$build/qv.bmp" || fail "qv.bmp not beside the program"
cmp "$folder/ru/tarvo_6.mo" "$build/ru/tarvo_6.mo" || fail "ru/tarvo_6.mo not beside the program"

entry=$prefix/share/applications/tarvo_6.desktop
[ -f "$entry" ] || fail "no desktop entry"
grep -qx "Exec=$folder/tarvo_6" "$entry" || fail "Exec does not name the installed program"
grep -qx "Path=$folder" "$entry" || fail "Path is not the program's folder"
grep -qx "Icon=tarvo_6" "$entry" || fail "no icon named"
[ -f "$prefix/share/icons/hicolor/48x48/apps/tarvo_6.png" ] || fail "no icon installed"
echo "installed in $folder"
