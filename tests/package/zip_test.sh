#!/usr/bin/env bash
# The Windows zip holds one folder with exactly what the program needs beside
# it; its tarvo_6.exe is a window program and its tarvo_6.com the console
# program, each running on a bare Windows: the icon resource in it, no DLL
# imported but the system's own.
# Usage: zip_test.sh tarvo_6-VERSION-windows-x86_64.zip
set -euo pipefail
zip=$(realpath "$1")
version=$(basename "$zip" | sed -n 's/^tarvo_6-\(.*\)-windows-x86_64\.zip$/\1/p')
fail() { echo "FAIL: $*"; exit 1; }
[ -n "$version" ] || fail "$zip is not named tarvo_6-VERSION-windows-x86_64.zip"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unzip -q "$zip" -d "$work"
top=tarvo_6-$version
expected=$(printf '%s\n' "$top/LICENSE.txt" "$top/README.txt" "$top/dispenser-sim.exe" \
  "$top/qv.bmp" "$top/ru/tarvo_6.mo" "$top/tarvo_6.com" "$top/tarvo_6.exe" "$top/training.cmd" \
  "$top/training.ini")
listed=$(cd "$work" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
[ "$listed" = "$expected" ] || fail "the zip holds:"$'\n'"$listed"

for program in tarvo_6.exe tarvo_6.com; do
  exe=$work/$top/$program
  file "$exe" | grep -q "PE32+ executable (.*) x86-64" || fail "$program: $(file "$exe")"
  x86_64-w64-mingw32-objdump -p "$exe" >"$work/headers"
  # Resource names are UTF-16: the icon the window loads is named MAINICON.
  strings -el "$exe" | grep -qx MAINICON || fail "$program has no MAINICON icon resource"
  dlls=$(sed -n 's/^\s*DLL Name: //p' "$work/headers" | tr 'A-Z' 'a-z' | sort -u)
  system='^(kernel32|user32|gdi32|advapi32|comctl32|comdlg32|ole32|oleaut32|shell32|uuid|ws2_32|winspool\.drv|msvcrt|imm32|winmm|shlwapi|version|api-ms-win-.*)(\.dll)?$'
  while read -r dll; do
    [[ "$dll" =~ $system ]] || fail "$program needs $dll, which a bare Windows lacks"
  done <<<"$dlls"
done
"$(dirname "$0")/pe_subsystem.sh" "$work/$top/tarvo_6.exe" 2 "$work/$top/tarvo_6.com" 3
exe=$work/$top/tarvo_6.exe
# The training kit: a console simulator that needs no DLL a bare Windows
# lacks either, and a launcher with Windows line ends.
sim=$work/$top/dispenser-sim.exe
file "$sim" | grep -q 'PE32+ executable (console) x86-64' || fail "not a 64-bit console program: $(file "$sim")"
while read -r dll; do
  [[ "$dll" =~ $system ]] || fail "dispenser-sim.exe needs $dll, which a bare Windows lacks"
done < <(x86_64-w64-mingw32-objdump -p "$sim" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
grep -q $'\r$' "$work/$top/training.cmd" || fail "training.cmd lacks Windows line ends"
# FLTK's licence asks for its use to be acknowledged where the zip documents itself.
grep -q 'based in part on the work of the FLTK project' "$work/$top/README.txt" ||
  fail "README.txt does not acknowledge FLTK"
grep -q 'MIT License' "$work/$top/LICENSE.txt" || fail "LICENSE.txt is not the project's licence"
cmp -s "$work/$top/qv.bmp" "$(dirname "$0")/../../assets/qv.bmp" || fail "qv.bmp differs from the logo"
grep -q $'\r$' "$work/$top/README.txt" || fail "README.txt lacks Windows line ends"
grep -q "tarvo_6 $version" "$work/$top/README.txt" || fail "README.txt does not name version $version"
echo "$zip: $(echo $dlls | wc -w) system DLLs, $(stat -c %s "$exe") bytes of tarvo_6.exe"
