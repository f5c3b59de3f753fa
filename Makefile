# Pictavo: every target installs what it needs first (scripts/install-deps does nothing when all is there).
BUILD      ?= build
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: all deps configure build test run demo bench asan tsan fuzz soak format clean install package

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPICTAVO_WERROR=ON -DPICTAVO_BENCH=OFF $(CMAKE_ARGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) --timeout 300

run: build
	@$(BUILD)/bin/pictavo

demo: build
	@scripts/demo $(BUILD)/bin

# Installs under PREFIX (add DESTDIR=... to stage it elsewhere).
PREFIX ?= /usr/local
install: build
	@DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)

# The Debian package of the build, for /usr: $(BUILD)/pictavo_<version>_<arch>.deb.
package: build
	@scripts/install-deps package
	@cd $(BUILD) && cpack -G DEB

# Benchmarks build in Release in their own folder; the results go to $(BUILD)/bench.json.
bench:
	@scripts/install-deps bench
	@cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DPICTAVO_BENCH=ON $(CMAKE_ARGS) >/dev/null
	@cmake --build build-bench -j $(JOBS)
	@mkdir -p $(BUILD)
	@bench/run build-bench $(BUILD)/bench.json

# The core and widget tests under AddressSanitizer and UndefinedBehaviorSanitizer. Only what they
# run is built (the target test_programs), with assertions on, light optimisation and line
# tables: a CI pass that finishes in minutes.
ASAN_ENV = ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
asan: deps
	@cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g1" -DPICTAVO_SANITIZE=address -DPICTAVO_BENCH=OFF $(CMAKE_ARGS) >/dev/null
	@$(ASAN_ENV) cmake --build build-asan -j $(JOBS) --target test_programs
	@$(ASAN_ENV) ctest --test-dir build-asan --output-on-failure -j $(JOBS) --timeout 600 -L 'core|gui' -LE desktop

tsan: deps
	@cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPICTAVO_SANITIZE=thread -DPICTAVO_BENCH=OFF $(CMAKE_ARGS) >/dev/null
	@cmake --build build-tsan -j $(JOBS)
	@TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/tests/tsan.supp \
		ctest --test-dir build-tsan --output-on-failure -j $(JOBS) --timeout 600 -L threads

# libFuzzer targets (clang) in build-fuzz, each run FUZZ_SECONDS on its corpus (fuzz/run).
FUZZ_SECONDS ?= 60
fuzz:
	@scripts/install-deps fuzz
	@cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DPICTAVO_FUZZ=ON -DPICTAVO_BENCH=OFF $(CMAKE_ARGS) >/dev/null
	@cmake --build build-fuzz -j $(JOBS) --target fuzzers
	@fuzz/run build-fuzz $(FUZZ_SECONDS)

# The program with 20 viewers, the mosaic and the chooser on democam's webcams, troubled ones
# included, under Xvfb; the summary goes to $(BUILD)/soak.txt. Not part of `make test`.
SOAK_SECONDS ?= 600
soak: build
	@SOAK_SECONDS=$(SOAK_SECONDS) scripts/soak $(BUILD)/bin $(BUILD)/soak.txt

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf build build-asan build-tsan build-bench
