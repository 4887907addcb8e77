# The two set-up commands of README.md: `make run` and `make test`.
# Both install missing Debian packages first (scripts/install-deps).

BUILD_DIR ?= build
ASAN_DIR  ?= build-asan
FUZZ_DIR  ?= build-fuzz
JOBS      ?= $(shell nproc)

# Ninja, and ccache's cache in the user's own cache folder (outside the tree): a build of a
# fresh clone compiles only what changed since any earlier build on this machine. Paths are
# taken relative to the clone, so that a clone in another folder finds the same entries.
CMAKE_SETUP = -G Ninja -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := 1
# Precompiled headers are cached too when their time stamps and macros are not held against them.
export CCACHE_SLOPPINESS := pch_defines,time_macros,include_file_mtime,include_file_ctime

.PHONY: all deps build build-asan build-fuzz configure-build configure-fuzz run test test-unit \
        test-asan test-fuzz fuzz bench package format clean

all: build

deps:
	@scripts/install-deps

build: configure-build
	cmake --build $(BUILD_DIR) -j $(JOBS)

# The same code with AddressSanitizer and UndefinedBehaviorSanitizer.
build-asan: deps
	@test -f $(ASAN_DIR)/CMakeCache.txt || \
	  cmake -S . -B $(ASAN_DIR) $(CMAKE_SETUP) -DCMAKE_BUILD_TYPE=Debug -DBANKSHUTTLE_SANITIZE=ON \
	        -DBANKSHUTTLE_BENCHMARKS=OFF
	cmake --build $(ASAN_DIR) -j $(JOBS)

# The MIDI file reader under libFuzzer (clang).
build-fuzz: configure-fuzz
	cmake --build $(FUZZ_DIR) -j $(JOBS)

run: build
	@if [ -z "$$DISPLAY$$WAYLAND_DISPLAY$$QT_QPA_PLATFORM" ]; then \
	  echo "make run: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are not set)"; \
	else $(BUILD_DIR)/src/app/bankshuttle; fi

# Every build and every test: the sanitizer build first, then the regular and fuzzing builds and
# every test but the JACK ones side by side at the lowest priority, and beside them the JACK
# tests, whose servers run with real-time scheduling (after the rest where the machine does not
# allow it; scripts/run-tests). The last line adds up every test.
test: build-asan configure-build configure-fuzz
	@scripts/run-tests $(BUILD_DIR) $(ASAN_DIR) $(FUZZ_DIR) $(JOBS)

configure-build: deps
	@test -f $(BUILD_DIR)/CMakeCache.txt || \
	  cmake -S . -B $(BUILD_DIR) $(CMAKE_SETUP) -DCMAKE_BUILD_TYPE=RelWithDebInfo

configure-fuzz: deps
	@test -f $(FUZZ_DIR)/CMakeCache.txt || \
	  CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) $(CMAKE_SETUP) \
	        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBANKSHUTTLE_FUZZ=ON

test-unit: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

test-asan: build-asan
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(ASAN_DIR) --output-on-failure -j $(JOBS)

# 20 seconds of fuzzing of each reader in every test run.
test-fuzz: build-fuzz
	ctest --test-dir $(FUZZ_DIR) --output-on-failure

# A longer fuzzing session of each reader: 60 s or 1,000,000 inputs, whichever comes first.
fuzz: build-fuzz
	$(FUZZ_DIR)/tests/fuzz/fuzz_midifile_reader -max_total_time=60 -runs=1000000 \
	  -max_len=65536 -malloc_limit_mb=4 -rss_limit_mb=1024 -print_final_stats=1 \
	  $(FUZZ_DIR)/tests/fuzz/corpus-fuzz_midifile_reader tests/fuzz/seeds
	$(FUZZ_DIR)/tests/fuzz/fuzz_syx_reader -max_total_time=60 -runs=1000000 \
	  -max_len=65536 -malloc_limit_mb=4 -rss_limit_mb=1024 -print_final_stats=1 \
	  $(FUZZ_DIR)/tests/fuzz/corpus-fuzz_syx_reader tests/fuzz/syx-seeds

# Every benchmark, the JACK ones against a server of their own.
bench: build
	@tests/jack/jackd-fixture.sh start bankshuttle-bench $(BUILD_DIR) && \
	  status=0; \
	  for b in $(BUILD_DIR)/bench/bench_*; do echo "== $$b"; \
	    JACK_DEFAULT_SERVER=bankshuttle-bench JACK_NO_START_SERVER=1 $$b || status=1; done; \
	  tests/jack/jackd-fixture.sh stop bankshuttle-bench $(BUILD_DIR); exit $$status

# A Debian package of the regular build: $(BUILD_DIR)/bankshuttle_<version>_amd64.deb.
package: build
	cmake --build $(BUILD_DIR) --target package

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(FUZZ_DIR)
