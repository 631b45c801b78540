#!/usr/bin/env bash
# Prints the subsystem a Windows program asks for, read from its PE header:
# 2 a window program (no console), 3 a console program.
# Usage: pe_subsystem.sh PROGRAM.exe
set -euo pipefail
file=$1
number() { od -An -t "u$2" -j "$1" -N "$2" "$file" | tr -d ' '; }
[ "$(head -c 2 "$file")" = MZ ] || { echo "$file: no MZ header" >&2; exit 1; }
# The DOS header's last field says where the PE signature is; the optional
# header follows it and the 20-byte file header, and holds the subsystem at
# offset 68 in both its 32- and 64-bit forms.
pe=$(number 60 4)
[ "$(od -An -c -j "$pe" -N 4 "$file" | tr -d ' ')" = 'PE\0\0' ] ||
  { echo "$file: no PE signature at $pe" >&2; exit 1; }
magic=$(number $((pe + 24)) 2)
[ "$magic" = 267 ] || [ "$magic" = 523 ] ||   # PE32, PE32+
  { echo "$file: optional header magic $magic" >&2; exit 1; }
number $((pe + 24 + 68)) 2
