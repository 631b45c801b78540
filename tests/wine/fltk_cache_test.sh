#!/usr/bin/env bash
# The FLTK cache of the Windows build tells a usable installation from a
# damaged one, without building FLTK: a fake installation with every file
# the build needs and a stamp counts as complete and is taken as it is; with
# its stamp gone, a stamp of another archive, or a library emptied or removed
# it counts as damaged, and scripts/fltk-windows.sh goes to build it again
# (here it stops at once: the archive it would build from is not there).
# Usage: fltk_cache_test.sh REPO
set -uo pipefail
script=$1/scripts/fltk-windows.sh
sha=$(sed -n 's/^FLTK_SHA256=//p' "$script")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# A cache folder as a finished build leaves it.
make_complete() {
  rm -rf "$work/cache"
  local prefix=$work/cache/fltk-$sha
  mkdir -p "$prefix/lib" "$prefix/include/FL" "$prefix/CMake"
  for f in lib/libfltk.a lib/libfltk_images.a lib/libfltk_png.a lib/libfltk_jpeg.a lib/libfltk_z.a \
           include/FL/Fl.H CMake/FLTKConfig.cmake; do
    echo content >"$prefix/$f"
  done
  echo "$sha" >"$prefix/.complete"
  echo "$prefix"
}

# Expects the verdict of --check, and what the build script does with the cache.
expect() {
  local what=$1 verdict=$2 prefix=$3
  local said
  said=$("$script" --check "$prefix")
  case "$verdict" in
    complete) [ "$said" = complete ] || fail "$what: --check said \"$said\", not complete" ;;
    damaged) [[ "$said" == damaged:* ]] || fail "$what: --check said \"$said\", not damaged" ;;
  esac
  local out
  out=$(TARVO_CACHE_DIR=$work/cache FLTK_SOURCE=$work/no-such-archive.tar.gz "$script" 2>&1)
  local status=$?
  if [ "$verdict" = complete ]; then
    [ $status -eq 0 ] && [ "$out" = "$prefix" ] || fail "$what: not taken from the cache: $out"
  else
    [ $status -ne 0 ] && grep -q "damaged" <<<"$out" && grep -q "no-such-archive" <<<"$out" ||
      fail "$what: not built again: $out"
  fi
}

prefix=$(make_complete)
expect "a finished installation" complete "$prefix"

prefix=$(make_complete); rm "$prefix/.complete"
expect "no stamp" damaged "$prefix"

prefix=$(make_complete); echo 0000 >"$prefix/.complete"
expect "a stamp of another archive" damaged "$prefix"

prefix=$(make_complete); rm "$prefix/lib/libfltk_images.a"
expect "a library removed" damaged "$prefix"

prefix=$(make_complete); : >"$prefix/lib/libfltk.a"
expect "a library emptied" damaged "$prefix"

prefix=$(make_complete); rm "$prefix/include/FL/Fl.H"
expect "a header removed" damaged "$prefix"

[ $failures -eq 0 ] && echo "PASS: the FLTK cache's verdicts" || exit 1
