# Quick start: `make demo` and `make test`. Both install what is missing first.
BUILD    ?= build
TYPE     ?= RelWithDebInfo
SANITIZE ?=
JOBS     ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps configure build test demo console screenshots test-asan test-tsan clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(TYPE) -DMAROVEX_SANITIZE=$(SANITIZE) >/dev/null

build: configure
	@cmake --build $(BUILD) -j$(JOBS) -- --no-print-directory

test: build
	@cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

demo: build
	@scripts/demo.sh $(BUILD)

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

clean:
	rm -rf build build-asan build-tsan demo-run console-run
