# The two set-up commands of README.md: `make run` and `make test`.
# Both install missing Debian packages first (scripts/install-deps).

BUILD_DIR ?= build
ASAN_DIR  ?= build-asan
JOBS      ?= $(shell nproc)

.PHONY: all deps build build-asan run test test-unit test-asan bench format clean

all: build

deps:
	@scripts/install-deps

build: deps
	@test -f $(BUILD_DIR)/CMakeCache.txt || \
	  cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD_DIR) -j $(JOBS)

# The same code with AddressSanitizer and UndefinedBehaviorSanitizer.
build-asan: deps
	@test -f $(ASAN_DIR)/CMakeCache.txt || \
	  cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DBANKSHUTTLE_SANITIZE=ON \
	        -DBANKSHUTTLE_BENCHMARKS=OFF
	cmake --build $(ASAN_DIR) -j $(JOBS)

run: build
	$(BUILD_DIR)/src/app/bankshuttle

test: test-unit test-asan

test-unit: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

test-asan: build-asan
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(ASAN_DIR) --output-on-failure -j $(JOBS)

bench: build
	@for b in $(BUILD_DIR)/bench/bench_*; do echo "== $$b"; $$b; done

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR)
