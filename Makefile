# Thin front over CMake. `make run` and `make test` install what is missing,
# configure, build and do their job; with everything present they cost an
# incremental build.
JOBS ?= $(shell nproc)

.PHONY: all deps test-deps build build-asan build-fuzz fuzz fuzz-check soak bench test test-windows package test-package run clean

all: build

# Each target asks only for the packages it needs.
deps:
	@scripts/ensure-deps.sh build

test-deps:
	@scripts/ensure-deps.sh test

build: deps
	@cmake -S . -B build -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@cmake --build build -j$(JOBS)

build-asan: deps
	@cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTARVO_SANITIZE=ON >/dev/null
	@cmake --build build-asan -j$(JOBS)

# The libFuzzer targets: a project of their own, built with clang.
build-fuzz:
	@scripts/ensure-deps.sh fuzz
	@cmake -S fuzz -B build-fuzz -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
	@cmake --build build-fuzz -j$(JOBS)

# Every test, in the plain build and under AddressSanitizer + UBSan, then
# every fuzz target over its seeds and a few seconds more.
test: test-deps build build-asan build-fuzz
	@echo "== tests: plain build"
	@ctest --test-dir build --output-on-failure -j$(JOBS) --timeout 300
	@echo "== tests: sanitizer build"
	@ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir build-asan --output-on-failure -j$(JOBS) --timeout 300
	@echo "== fuzz targets: seeds and a short run"
	@fuzz/run.sh build-fuzz 3

# Each fuzz target for FUZZ_SECONDS (default 60); what it finds is kept in
# build-fuzz/corpus for the next run.
FUZZ_SECONDS ?= 60
fuzz: build-fuzz
	@fuzz/run.sh build-fuzz $(FUZZ_SECONDS) keep

fuzz-check: build-fuzz
	@fuzz/run.sh build-fuzz 3

# The fault-injection soak for SOAK_SECONDS (default 600) with each seed of
# SOAK_SEEDS; `make test` runs it for 30 s.
SOAK_SECONDS ?= 600
SOAK_SEEDS ?= 1 2 3
soak: test-deps build
	@for seed in $(SOAK_SEEDS); do build/tests/procedure_soak --seconds $(SOAK_SECONDS) --seed $$seed || exit 1; done

# Figures of the procedures and the program, with the machine they ran on.
bench: test-deps build
	@build/bench/tarvo_port_tick_bench
	@build/bench/tarvo_read_bench
	@build/bench/tarvo_read_command_bench build/tarvo_6
	@build/bench/tarvo_trace_bench
	@build/bench/tarvo_procedure_bench build

# The tool cross-built for Windows, with its window (FLTK is built once from
# its source and cached), its tests and the program itself run under Wine.
test-windows:
	@JOBS=$(JOBS) scripts/test-windows.sh

# tarvo_6-VERSION-windows-x86_64.zip and tarvo_6_VERSION_amd64.deb.
package:
	@JOBS=$(JOBS) scripts/package.sh

# Both packages checked: the zip's contents; the .deb by lintian and
# desktop-file-validate, then installed, started and removed (as root;
# skipped otherwise).
test-package: package
	@scripts/ensure-deps.sh lintian desktop-file-utils
	@tests/package/zip_test.sh tarvo_6-*-windows-x86_64.zip
	@tests/package/lint_test.sh tarvo_6_*_amd64.deb
	@tests/package/deb_test.sh tarvo_6_*_amd64.deb

run: build
	@scripts/ensure-deps.sh run
	@scripts/run.sh

clean:
	rm -rf build build-asan build-fuzz build-windows build-package build-package-windows
