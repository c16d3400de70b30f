# Tarnwick: `make run` opens the front panel, `make test` builds and runs every
# suite (plain, AddressSanitizer + UndefinedBehaviorSanitizer, ThreadSanitizer
# and the bounded fuzz runs). Both install missing Debian packages first.

PACKAGES := cmake ninja-build g++ clang libclang-rt-14-dev \
            libgtest-dev libgmock-dev libbenchmark-dev \
            qt6-base-dev qt6-base-dev-tools libgl-dev fonts-liberation
JOBS ?= $(shell nproc)
CMAKE := cmake -G Ninja -DTARNWICK_WERROR=ON
CTEST := ctest --output-on-failure -j $(JOBS)
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps build run test test-plain test-panel-repeat test-asan test-tsan test-fuzz test-clang test-debug bench clean

all: build

deps:
	@missing=$$(for p in $(PACKAGES); do \
	    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	    echo "Installing:" $$missing; \
	    $(SUDO) apt-get update -qq && \
	    DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi

build: deps
	$(CMAKE) -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build -j $(JOBS)

run: build
	./build/tarnwick

test: test-plain test-asan test-tsan test-fuzz test-clang test-debug

# The front-panel suites run three times: a suite that passes only sometimes
# fails here rather than at random later.
test-plain: build
	cd build && $(CTEST) -LE panel
	cd build && $(CTEST) -L panel --repeat until-fail:3

# The front-panel suites 20 times in a row, then 5 times while both cores
# are kept busy by another process.
test-panel-repeat: build
	cd build && $(CTEST) -L panel --repeat until-fail:20
	@busy=""; \
	for i in 1 2; do (while :; do :; done) & busy="$$busy $$!"; done; \
	trap 'kill $$busy 2>/dev/null' EXIT; \
	cd build && $(CTEST) -L panel --repeat until-fail:5

# Every target built with clang as well (the fuzz build covers only the
# fuzzers and the core), and every suite run on it.
test-clang: deps
	CXX=clang++ $(CMAKE) -S . -B build-clang -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build-clang -j $(JOBS)
	cd build-clang && $(CTEST)

# The memory suites unoptimised: the relay memory's wide lanes are right
# only where their helpers are inlined into the code built for those lanes,
# and only an -O0 build shows a helper that is not.
test-debug: deps
	$(CMAKE) -S . -B build-debug -DCMAKE_BUILD_TYPE=Debug -DTARNWICK_BUILD_GUI=OFF -DTARNWICK_BUILD_BENCH=OFF
	cmake --build build-debug -j $(JOBS) --target memory_tests
	cd build-debug && $(CTEST) -L memory

test-asan: deps
	$(CMAKE) -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTARNWICK_SANITIZE=address,undefined \
	    -DTARNWICK_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS=-O1
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 $(CTEST) -LE no-asan

# Only the suites that exercise threads run under ThreadSanitizer.
test-tsan: deps
	$(CMAKE) -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DTARNWICK_SANITIZE=thread \
	    -DTARNWICK_BUILD_BENCH=OFF -DTARNWICK_BUILD_GUI=OFF -DCMAKE_CXX_FLAGS=-O1
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1 $(CTEST) -L threads --no-tests=ignore

test-fuzz: deps
	CXX=clang++ $(CMAKE) -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNWICK_FUZZ=ON \
	    -DTARNWICK_BUILD_TESTS=OFF -DTARNWICK_BUILD_BENCH=OFF -DTARNWICK_BUILD_GUI=OFF
	cmake --build build-fuzz -j $(JOBS)
	cd build-fuzz && $(CTEST) -L fuzz --no-tests=ignore

bench: build
	@for b in build/bench/*_bench; do [ -x "$$b" ] && "$$b"; done

clean:
	rm -rf build build-asan build-tsan build-fuzz build-clang build-debug
