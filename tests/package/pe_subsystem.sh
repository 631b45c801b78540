#!/usr/bin/env bash
# Checks the subsystem each Windows program asks for in its PE header: 2 a
# window program (Explorer opens no console for it), 3 a console program.
# Usage: pe_subsystem.sh PROGRAM SUBSYSTEM [PROGRAM SUBSYSTEM...]
set -euo pipefail
number() { od -An -t "u$2" -j "$1" -N "$2" "$file" | tr -d ' '; }
while [ $# -ge 2 ]; do
  file=$1
  # The DOS header's last field locates the PE signature; the optional header
  # follows it and the 20-byte file header, with the subsystem at offset 68.
  pe=$(number 60 4)
  [ "$(od -An -c -j "$pe" -N 4 "$file" | tr -d ' ')" = 'PE\0\0' ] ||
    { echo "FAIL: $file is no PE program"; exit 1; }
  found=$(number $((pe + 24 + 68)) 2)
  [ "$found" = "$2" ] || { echo "FAIL: $file asks for subsystem $found, not $2"; exit 1; }
  shift 2
done
