# Quick start: `make demo` and `make test`. Both install what is missing first.
BUILD    ?= build
TYPE     ?= RelWithDebInfo
SANITIZE ?=
JOBS     ?= $(shell nproc 2>/dev/null || echo 2)

FUZZ_SECONDS ?= 60
SOAK_SECONDS ?= 600
FUZZ_TARGETS := FuzzConfig FuzzReceive FuzzFieldCodec FuzzOperations

.PHONY: all deps configure build test demo test-asan test-tsan fuzz soak clean

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

# Two lanes under load and faults for SOAK_SECONDS; e.g. make soak BUILD=build-asan SANITIZE=address TYPE=Debug
soak: configure
	@cmake --build $(BUILD) -j$(JOBS) --target marovex_soak -- --no-print-directory
	@$(BUILD)/bin/marovex_soak $(SOAK_SECONDS)

# libFuzzer with clang, AddressSanitizer and UBSan: each target FUZZ_SECONDS seconds on its corpus.
fuzz: deps
	@scripts/install-deps.sh clang libclang-rt-dev
	@cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMAROVEX_SANITIZE=fuzz -DBUILD_TESTING=OFF >/dev/null
	@cmake --build build-fuzz -j$(JOBS) --target $(FUZZ_TARGETS) -- --no-print-directory
	@scripts/run-fuzz.sh build-fuzz $(FUZZ_SECONDS) $(FUZZ_TARGETS)

clean:
	rm -rf build build-asan build-tsan build-fuzz demo-run
