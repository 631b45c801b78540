#!/usr/bin/env bash
# A program's manual page made from its own --help: help2man reads the text
# the program prints, so the page can never say other than --help does.
# Run in an empty folder: the programs read their catalog from the working
# directory, and the page is the English text.
# Usage: man-page.sh PROGRAM SUMMARY VERSION OUT.1.gz
# SOURCE_DATE_EPOCH, when set, dates the page (a reproducible package).
set -euo pipefail
program=$(realpath "$1")
summary=$2
version=$3
out=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && help2man --no-info --no-discard-stderr --version-string="$version" \
   --name="$summary" --output="$work/page.1" "$program")
gzip -9n <"$work/page.1" >"$out"
