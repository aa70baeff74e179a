# Quick start: `make demo` and `make test`. Both install what is missing first.
BUILD    ?= build
TYPE     ?= RelWithDebInfo
SANITIZE ?=
JOBS     ?= $(shell nproc 2>/dev/null || echo 2)
PREFIX   ?= /usr/local
# What the demo runs; what an installation and the packages hold: no test program, no benchmark.
PROGRAMS := Marovex lanesim mvcall
INSTALLED := $(PROGRAMS) mvclient
# The Debian packages: a Release build with Debian's own build flags (hardening, and -g, whose
# symbols CPack moves into the -dbgsym packages).
PACKAGE_BUILD ?= build-package
DEB_FLAGS := DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get

FUZZ_SECONDS ?= 60
FUZZ_TARGETS := FuzzConfig FuzzReceive FuzzFieldCodec FuzzOperations
# What the console's window needs beyond the build: a virtual X display and a CJK font.
DISPLAY_PACKAGES := xvfb xauth fonts-wqy-microhei

.PHONY: all deps configure build programs test demo install package test-package docs console screenshots test-asan test-tsan bench fuzz soak clean \
        windows windows-build windows-wine test-windows windows-x86_64 soak-windows

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

install: configure
	@cmake --build $(BUILD) -j$(JOBS) --target $(INSTALLED) -- --no-print-directory
	@cmake --install $(BUILD) --prefix $(PREFIX)

package: deps
	@cmake -S . -B $(PACKAGE_BUILD) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_C_FLAGS="$$($(DEB_FLAGS) CFLAGS) $$($(DEB_FLAGS) CPPFLAGS)" \
	  -DCMAKE_CXX_FLAGS="$$($(DEB_FLAGS) CXXFLAGS) $$($(DEB_FLAGS) CPPFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$($(DEB_FLAGS) LDFLAGS)" \
	  -DCMAKE_SHARED_LINKER_FLAGS="$$($(DEB_FLAGS) LDFLAGS)" \
	  -DCMAKE_INSTALL_PREFIX=/usr -DBUILD_TESTING=OFF -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
	@cmake --build $(PACKAGE_BUILD) -j$(JOBS) --target $(INSTALLED) -- --no-print-directory
	@cd $(PACKAGE_BUILD) && cpack -G DEB

# The packages as an integrator gets them: lintian finds no error, and installed into a scratch
# root they build and run the C example (CMake and pkg-config) and import the Python module.
test-package: package
	@scripts/install-deps.sh lintian
	@tests/install/package-check.sh $(PACKAGE_BUILD) .

docs: configure
	@cmake --build $(BUILD) -j$(JOBS) --target refdoc -- --no-print-directory
	@$(BUILD)/bin/refdoc --update

# The test console against the simulator; it needs a display (xvfb-run -a make console without one).
console: build
	@scripts/install-deps.sh $(DISPLAY_PACKAGES)
	@scripts/console.sh $(BUILD)

# docs/console-*.png: the console's four pages, rendered under Xvfb.
screenshots: build
	@scripts/install-deps.sh $(DISPLAY_PACKAGES)
	@scripts/screenshots.sh $(BUILD)

test-asan:
	@$(MAKE) --no-print-directory test BUILD=build-asan SANITIZE=address TYPE=Debug

test-tsan:
	@$(MAKE) --no-print-directory test BUILD=build-tsan SANITIZE=thread TYPE=Debug

# Windows: the 32-bit Marovex.dll with mvcall.exe, lanesim.exe and every test program in
# build-windows/bin, tested under the Wine that scripts/install-wine.sh makes in build-windows/wine
# (scripts/run-windows.sh runs one program the same way). windows-x86_64: the same sources for
# 64-bit Windows in build-windows/x86_64 with their tests (not part of make windows).
WINDOWS  ?= build-windows
WIN_DEPS  = $(CURDIR)/$(WINDOWS)/deps
WIN_WINE  = MAROVEX_WINE=$(CURDIR)/$(WINDOWS)/wine

windows: test-windows

windows-build:
	@JOBS=$(JOBS) scripts/install-windows-deps.sh $(WIN_DEPS) i686
	@cmake -S . -B $(WINDOWS) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
	  -DMAROVEX_DEPS_PREFIX=$(WIN_DEPS)/i686 -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(WINDOWS) -j$(JOBS) -- --no-print-directory

windows-wine:
	@scripts/install-wine.sh $(WINDOWS)/wine i686

test-windows: windows-build windows-wine
	@$(WIN_WINE) JOBS=$(JOBS) scripts/test-windows.sh $(WINDOWS) i686

windows-x86_64:
	@JOBS=$(JOBS) scripts/install-windows-deps.sh $(WIN_DEPS) x86_64
	@cmake -S . -B $(WINDOWS)/x86_64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
	  -DMAROVEX_DEPS_PREFIX=$(WIN_DEPS)/x86_64 -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(WINDOWS)/x86_64 -j$(JOBS) -- --no-print-directory
	@scripts/install-wine.sh $(WINDOWS)/wine x86_64
	@$(WIN_WINE) JOBS=$(JOBS) scripts/test-windows.sh $(WINDOWS)/x86_64 x86_64

# Release build in build-bench/; BENCH_QUICK=1 runs a short version.
bench: deps
	@scripts/install-deps.sh libbenchmark-dev valgrind
	@BENCH_QUICK=$(BENCH_QUICK) bench/run.sh . build-bench

# Two lanes under load and faults for SOAK_SECONDS (default 600); e.g. make soak BUILD=build-asan SANITIZE=address TYPE=Debug
soak: configure
	@cmake --build $(BUILD) -j$(JOBS) --target marovex_soak -- --no-print-directory
	@$(BUILD)/bin/marovex_soak $(or $(SOAK_SECONDS),600)

# The same soak on the 32-bit DLL, under the Wine of make windows, SOAK_SECONDS (default 300).
soak-windows: windows-build windows-wine
	@cd $(WINDOWS)/bin && $(WIN_WINE) $(CURDIR)/scripts/run-windows.sh i686 marovex_soak.exe $(or $(SOAK_SECONDS),300)

# libFuzzer with clang, AddressSanitizer and UBSan: each target FUZZ_SECONDS seconds on its corpus.
fuzz: deps
	@scripts/install-deps.sh clang libclang-rt-dev
	@cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMAROVEX_SANITIZE=fuzz -DBUILD_TESTING=OFF >/dev/null
	@cmake --build build-fuzz -j$(JOBS) --target $(FUZZ_TARGETS) -- --no-print-directory
	@scripts/run-fuzz.sh build-fuzz $(FUZZ_SECONDS) $(FUZZ_TARGETS)

clean:
	rm -rf build build-asan build-tsan build-bench build-fuzz demo-run console-run $(WINDOWS) \
	  $(PACKAGE_BUILD)
