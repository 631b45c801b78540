#!/usr/bin/env bash
# Runs every fuzz target for a bounded time, starting from its committed seeds.
#
#   fuzz/run.sh BUILD_DIR SECONDS [keep]
#
# Without "keep" (the short run of `make test`), what the fuzzer finds new is
# thrown away afterwards; with it (`make fuzz`), it stays in
# BUILD_DIR/corpus/<target> and the next run goes on from there. Crashes,
# leaks and time-outs land in BUILD_DIR/artifacts/ and fail the run; add the
# input to fuzz/corpus/<target>/ once it is fixed.
set -uo pipefail
build=$(cd "$1" && pwd)
seconds=$2
keep=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
targets=(fuzz_catalog fuzz_echo_rule fuzz_ini fuzz_parse_fixed fuzz_status fuzz_trk_exchange)

mkdir -p "$build/artifacts" "$build/work"
if [ "$keep" = keep ]; then
  corpora=$build/corpus
else
  corpora=$(mktemp -d)
  trap 'rm -rf "$corpora"' EXIT
fi

failed=0
for t in "${targets[@]}"; do
  mkdir -p "$corpora/$t"
  log=$build/artifacts/$t.log
  # The link's targets open a pty and the port layer writes port.out in the
  # working folder: keep both out of the source tree.
  (cd "$build/work" && "$build/$t" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
     -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/artifacts/$t-" \
     "$corpora/$t" "$here/corpus/$t") >"$log" 2>&1
  status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  if [ $status -eq 0 ]; then
    printf '%-18s ok     %8s runs in %ss\n' "$t" "${runs:-?}" "$seconds"
  else
    failed=1
    printf '%-18s FAILED (exit %d); log: %s\n' "$t" "$status" "$log"
    grep -E 'ERROR|runtime error|SUMMARY|Test unit written' "$log" | head -5
  fi
done
exit $failed
