# Thin front over CMake. `make run` and `make test` install what is missing,
# configure, build and do their job; with everything present they cost an
# incremental build.
JOBS ?= $(shell nproc)

.PHONY: all deps build build-asan test test-windows run clean

all: build

deps:
	@scripts/ensure-deps.sh

build: deps
	@cmake -S . -B build -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@cmake --build build -j$(JOBS)

build-asan: deps
	@cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTARVO_SANITIZE=ON >/dev/null
	@cmake --build build-asan -j$(JOBS)

# Every test, in the plain build and under AddressSanitizer + UBSan.
test: build build-asan
	@echo "== tests: plain build"
	@ctest --test-dir build --output-on-failure -j$(JOBS) --timeout 300
	@echo "== tests: sanitizer build"
	@ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir build-asan --output-on-failure -j$(JOBS) --timeout 300

# Everything but the window cross-built for Windows, its tests run under Wine.
test-windows:
	@JOBS=$(JOBS) scripts/test-windows.sh

run: build
	@scripts/run.sh

clean:
	rm -rf build build-asan build-windows
