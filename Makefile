# Quick start: `make demo` and `make test`. Both install what is missing first.
BUILD    ?= build
TYPE     ?= RelWithDebInfo
SANITIZE ?=
JOBS     ?= $(shell nproc 2>/dev/null || echo 2)
PREFIX   ?= /usr/local
# What the demo runs and an installation holds: no test program, no benchmark.
PROGRAMS := Marovex lanesim mvcall

.PHONY: all deps configure build programs test demo install package docs console screenshots test-asan test-tsan bench clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(TYPE) -DMAROVEX_SANITIZE=$(SANITIZE) >/dev/null

build: configure
	@cmake --build $(BUILD) -j$(JOBS) -- --no-print-directory

programs: configure
	@cmake --build $(BUILD) -j$(JOBS) --target $(PROGRAMS) -- --no-print-directory

test: build
	@cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

demo: programs
	@scripts/demo.sh $(BUILD)

install: programs
	@cmake --install $(BUILD) --prefix $(PREFIX)

package: build
	@cd $(BUILD) && cpack -G DEB

docs: configure
	@cmake --build $(BUILD) -j$(JOBS) --target refdoc -- --no-print-directory
	@$(BUILD)/bin/refdoc --update

# The test console against the simulator; it needs a display (xvfb-run -a make console without one).
console: build
	@scripts/install-deps.sh display
	@scripts/console.sh $(BUILD)

# docs/console-*.png: the console's four pages, rendered under Xvfb.
screenshots: build
	@scripts/install-deps.sh display
	@scripts/screenshots.sh $(BUILD)

test-asan:
	@$(MAKE) --no-print-directory test BUILD=build-asan SANITIZE=address TYPE=Debug

test-tsan:
	@$(MAKE) --no-print-directory test BUILD=build-tsan SANITIZE=thread TYPE=Debug

# Release build in build-bench/; BENCH_QUICK=1 runs a short version.
bench: deps
	@scripts/install-deps.sh libbenchmark-dev valgrind
	@BENCH_QUICK=$(BENCH_QUICK) bench/run.sh . build-bench

clean:
	rm -rf build build-asan build-tsan build-bench demo-run console-run
