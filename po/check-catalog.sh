#!/usr/bin/env bash
# Fails when a text the code passes through tr() has no translation in the
# catalog, or when a translation breaks a format's conversions.
# Usage: check-catalog.sh SOURCE_ROOT PO_FILE
set -euo pipefail
root=$1
po=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$root/po/extract-texts.sh" "$root" "$work/tarvo_6.pot"
# Every id of the code has a translation (untranslated and fuzzy count as missing).
msgcmp "$po" "$work/tarvo_6.pot"
# The code's own format flags decide which entries are checked, so an entry
# that lost its c-format mark in the catalog is still checked.
# msgmerge marks an entry fuzzy when its translation does not fit the format.
msgmerge --quiet --no-fuzzy-matching -o "$work/merged.po" "$po" "$work/tarvo_6.pot"
msgattrib --only-fuzzy --no-obsolete -o "$work/fuzzy.po" "$work/merged.po"
if [ -s "$work/fuzzy.po" ]; then
  echo "$po: translations that do not fit their format:" >&2
  cat "$work/fuzzy.po" >&2
  exit 1
fi
msgfmt --check-format -o /dev/null "$work/merged.po"
msgfmt --check-format -o /dev/null "$po"
echo "catalog $po covers every text of the code"
