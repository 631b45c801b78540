#!/usr/bin/env bash
# Writes the template of every text passed through tr() in app/ and the folders inside it to OUT.
# Usage: extract-texts.sh SOURCE_ROOT OUT
set -euo pipefail
root=$1
out=$2
cd "$root"
xgettext --language=C++ --keyword= --keyword=tr --from-code=UTF-8 \
  --package-name=tarvo_6 --add-comments --sort-by-file \
  -o "$out" app/*.cpp app/*/*.cpp
