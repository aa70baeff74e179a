# Quick start: `make demo` and `make test`. Both install what is missing first.
BUILD    ?= build
TYPE     ?= RelWithDebInfo
SANITIZE ?=
JOBS     ?= $(shell nproc 2>/dev/null || echo 2)
PREFIX   ?= /usr/local
# What the demo runs and an installation holds: no test program, no benchmark.
PROGRAMS := Marovex lanesim mvcall

.PHONY: all deps configure build programs test demo install package docs test-asan test-tsan clean \
        windows windows-build test-windows

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

test-asan:
	@$(MAKE) --no-print-directory test BUILD=build-asan SANITIZE=address TYPE=Debug

test-tsan:
	@$(MAKE) --no-print-directory test BUILD=build-tsan SANITIZE=thread TYPE=Debug

# Windows: the 32-bit Marovex.dll with mvcall.exe and lanesim.exe in build-windows/bin, and a
# 64-bit build of the same sources in build-windows/x86_64 whose test programs run under Wine.
WINDOWS  ?= build-windows
WIN_DEPS  = $(CURDIR)/$(WINDOWS)/deps

windows: test-windows

windows-build:
	@JOBS=$(JOBS) scripts/install-windows-deps.sh $(WIN_DEPS)
	@cmake -S . -B $(WINDOWS) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
	  -DMAROVEX_DEPS_PREFIX=$(WIN_DEPS)/i686 -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(WINDOWS) -j$(JOBS) -- --no-print-directory
	@cmake -S . -B $(WINDOWS)/x86_64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
	  -DMAROVEX_DEPS_PREFIX=$(WIN_DEPS)/x86_64 -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(WINDOWS)/x86_64 -j$(JOBS) -- --no-print-directory

test-windows: windows-build
	@JOBS=$(JOBS) scripts/test-windows.sh $(WINDOWS) i686
	@JOBS=$(JOBS) scripts/test-windows.sh $(WINDOWS)/x86_64 x86_64

clean:
	rm -rf build build-asan build-tsan demo-run $(WINDOWS)
