# Corvane: `make run` builds and starts the app, `make test` builds and runs every test.
BUILD_DIR ?= build
ASAN_BUILD_DIR ?= build-asan
FUZZ_BUILD_DIR ?= build-fuzz
JOBS ?= $(shell nproc)
# Tests run at once; more than the cores makes the X11 tests' frame checks miss on a loaded machine.
TEST_JOBS ?= $(JOBS)
CMAKE_FLAGS ?=
# clang: GCC 12 destroys brace-initialised temporaries inside co_await expressions twice.
COMPILERS := -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++

.PHONY: deps run-deps configure run-configure build test test-sanitize run bench format clean

# What the tests and benchmarks need (the desktops, applications, recorders and fonts they use)
# beside what building and running needs; `make run` installs only the latter.
deps:
	@bash scripts/install-deps test

run-deps:
	@bash scripts/install-deps run

CONFIGURE = cmake -S . -B $(BUILD_DIR) -G Ninja $(COMPILERS) -DCMAKE_BUILD_TYPE=RelWithDebInfo

configure: deps
	@$(CONFIGURE) -DCORVANE_BUILD_TESTS=ON -DCORVANE_BUILD_BENCH=ON $(CMAKE_FLAGS) >/dev/null

# Without the test and benchmark frameworks, which `make run` does not install.
run-configure: run-deps
	@$(CONFIGURE) -DCORVANE_BUILD_TESTS=OFF -DCORVANE_BUILD_BENCH=OFF $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(TEST_JOBS)

# The whole suite once more under AddressSanitizer + UndefinedBehaviorSanitizer (benchmarks left out).
test-sanitize: deps
	@cmake -S . -B $(ASAN_BUILD_DIR) -G Ninja $(COMPILERS) -DCMAKE_BUILD_TYPE=Debug -DCORVANE_SANITIZE=ON \
	  -DCORVANE_BUILD_BENCH=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(ASAN_BUILD_DIR) -j $(JOBS)
	@cd $(ASAN_BUILD_DIR) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan-suppressions.txt \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(TEST_JOBS)

# Builds only what it runs: the application, and the demo's tools when there is no display.
RUN_TARGETS = corvane $(if $(DISPLAY),,corvane_demo_shot corvane_demo_picture x11_test_client)

run: run-configure
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target $(RUN_TARGETS)
	@bash scripts/run-corvane $(BUILD_DIR) $(ARGS)

# Benchmarks, then the fuzzers, then one table of every goal (bench/goals.txt) and whether it holds.
bench: build
	@cmake --build $(BUILD_DIR) --target benchmarks -j $(JOBS)
	@status=0; \
	  bash scripts/run-benchmarks $(BUILD_DIR) || status=1; \
	  JOBS=$(JOBS) bash scripts/run-fuzzers $(FUZZ_BUILD_DIR) || status=1; \
	  $(BUILD_DIR)/bench/corvane_goal_table bench/goals.txt $(BUILD_DIR)/bench-results/*.json \
	    $(FUZZ_BUILD_DIR)/fuzz-summary.json || status=1; \
	  exit $$status

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf $(BUILD_DIR) $(ASAN_BUILD_DIR) $(FUZZ_BUILD_DIR)
