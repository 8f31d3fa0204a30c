# The two set-up commands of the README:
#   make run    installs what is needed, builds, and starts qxrtrans in build/run
#               with the controller emulator linked there as COM2
#   make test   installs what is needed, builds, and runs the whole test suite
BUILD      ?= build
ASAN_BUILD ?= build-asan
BENCH_BUILD ?= build-bench
JOBS       ?= $(shell nproc)

.PHONY: all setup build run serve test package asan bench fuzz clean

all: build

setup:
	@scripts/setup.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: setup $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run.sh $(BUILD)

# The shop service on two emulated controllers, in the foreground, on
# 127.0.0.1:8080 (scripts/shop-demo.sh; Ctrl-C ends it).
serve: build
	@scripts/shop-demo.sh $(BUILD)

test: build
	cd $(BUILD) && ctest -j $(JOBS) --output-on-failure --timeout 120

# The Debian package build/qxrtrans_<version>_<arch>.deb; install it with
#   sudo apt install ./build/qxrtrans_*.deb
package: build
	cd $(BUILD) && cpack -G DEB

# The same tests built with AddressSanitizer and UndefinedBehaviorSanitizer.
asan: setup
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQXR_SANITIZE=ON -DQXR_BUILD_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest -j $(JOBS) --output-on-failure --timeout 300

bench: setup
	cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DQXR_BUILD_TESTS=OFF
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	@scripts/bench.sh $(BENCH_BUILD)

# libFuzzer targets built with clang, the library under test instrumented
# for coverage; FUZZ_SECONDS per target (default 60), FUZZ_JOBS targets at
# once (default 1), FUZZ_MERGE=1 to minimize the new inputs into fuzz/corpus.
# Ends with a table of executions, edges and features per target.
FUZZ_BUILD ?= build-fuzz
fuzz: setup
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DQXR_FUZZ=ON -DQXR_BUILD_TESTS=OFF -DQXR_BUILD_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_targets
	@scripts/fuzz.sh $(FUZZ_BUILD) $${FUZZ_SECONDS:-60}

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD)
