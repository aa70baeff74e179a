# Quick start: `make demo` and `make test`. Both install what is missing first.
BUILD    ?= build
TYPE     ?= RelWithDebInfo
SANITIZE ?=
JOBS     ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps configure build test demo test-asan test-tsan clean

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

test-asan:
	@$(MAKE) --no-print-directory test BUILD=build-asan SANITIZE=address TYPE=Debug

test-tsan:
	@$(MAKE) --no-print-directory test BUILD=build-tsan SANITIZE=thread TYPE=Debug

clean:
	rm -rf build build-asan build-tsan demo-run
