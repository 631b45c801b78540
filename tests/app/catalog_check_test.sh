#!/usr/bin/env bash
# The catalog check passes for po/ru.po and fails for catalogs that miss a
# text of the code or break a format's conversions.
# Usage: catalog_check_test.sh SOURCE_ROOT
set -euo pipefail
root=$1
check="$root/po/check-catalog.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$check" "$root" "$root/po/ru.po" >/dev/null 2>&1 || { echo "FAIL: po/ru.po is rejected"; "$check" "$root" "$root/po/ru.po"; exit 1; }

expect_rejected() {   # name, po file
  if "$check" "$root" "$2" >/dev/null 2>&1; then
    echo "FAIL: $1 was accepted"
    exit 1
  fi
  echo "ok: $1 rejected"
}

# A text of the code with no entry.
awk 'BEGIN{RS=""; ORS="\n\n"} !/(^|\n)msgid "Close Port"\n/' "$root/po/ru.po" >"$work/missing.po"
grep -q 'Close Port' "$work/missing.po" && { echo "FAIL: test set-up"; exit 1; }
expect_rejected "a catalog without \"Close Port\"" "$work/missing.po"

# An entry left untranslated.
sed '/^msgid "Close Port"$/{n;s/.*/msgstr ""/}' "$root/po/ru.po" >"$work/untranslated.po"
expect_rejected "an untranslated \"Close Port\"" "$work/untranslated.po"

# A translation whose conversion differs from the id's.
sed 's/^msgstr "Пистолет %d"$/msgstr "Пистолет %s"/' "$root/po/ru.po" >"$work/format.po"
grep -q 'Пистолет %s' "$work/format.po" || { echo "FAIL: test set-up"; exit 1; }
expect_rejected "\"Nozzle %d\" translated with %s" "$work/format.po"

# The same, with the c-format mark dropped from the catalog.
awk '/^#, c-format$/ {hold=1; next} {print}' "$work/format.po" >"$work/unmarked.po"
expect_rejected "an unmarked \"Nozzle %d\" translated with %s" "$work/unmarked.po"

# A conversion lost in a two-field format.
sed 's/^msgstr "кон %2d.%02d"$/msgstr "кон %2d"/' "$root/po/ru.po" >"$work/lost.po"
grep -q '^msgstr "кон %2d"$' "$work/lost.po" || { echo "FAIL: test set-up"; exit 1; }
expect_rejected "\"fin %2d.%02d\" missing a conversion" "$work/lost.po"
echo "catalog check: all cases pass"
