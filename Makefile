# Thin front over CMake. `make demo` and `make test` each install what is missing, configure and build.
JOBS      ?= $(shell nproc 2>/dev/null || echo 2)
BUILD     ?= build
SANBUILD  ?= build-san
CMAKE_ARGS ?=

.PHONY: all deps deps-demo build build-demo build-san test test-plain test-san demo bench format format-check clean

all: build

deps:
	@./scripts/deps.sh

deps-demo:
	@./scripts/deps.sh --demo

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON $(CMAKE_ARGS)
	cmake --build $(BUILD) -j $(JOBS)
	@ln -sf $(BUILD)/compile_commands.json compile_commands.json

# What the demo runs and nothing more: the library, the platform layer and the tools. The tests are configured only
# where they can be built (GoogleTest installed), so that `make test` later builds the rest in the same tree.
DEMO_TARGETS = fcl-pack fcl-restore fcl-holes
build-demo: deps-demo
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DBUILD_TESTING=$$(dpkg-query -W -f='$${Status}' libgtest-dev 2>/dev/null | grep -q 'ok installed' && echo ON || echo OFF) \
	    $(CMAKE_ARGS)
	cmake --build $(BUILD) -j $(JOBS) --target $(DEMO_TARGETS)
	@ln -sf $(BUILD)/compile_commands.json compile_commands.json

build-san: deps
	cmake -S . -B $(SANBUILD) -DCMAKE_BUILD_TYPE=Debug -DFCL_SANITIZE=ON $(CMAKE_ARGS)
	cmake --build $(SANBUILD) -j $(JOBS)

# The formatting check first, then every test, once as built and once under AddressSanitizer and
# UndefinedBehaviorSanitizer.
test: format-check
	@$(MAKE) --no-print-directory test-plain test-san

test-plain: build
	ctest --test-dir $(BUILD) -j $(JOBS) --output-on-failure --no-tests=error

test-san: build-san
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	    ctest --test-dir $(SANBUILD) -j $(JOBS) --output-on-failure --no-tests=error

demo: build-demo
	./scripts/demo.sh $(BUILD)

bench: build
	./bench/run.sh $(BUILD)

# Both use clang-format 14 only (scripts/deps.sh installs it).
format: deps
	./scripts/format.sh

format-check: deps
	./scripts/format.sh --check

clean:
	rm -rf $(BUILD) $(SANBUILD) compile_commands.json

# The fuzz target under libFuzzer for FUZZ_SECONDS, starting from the seed corpus that fcl-pack makes and the earlier
# findings kept in fuzz/findings (which `make test` replays); new findings go to $(FUZZBUILD)/fuzz/findings. Needs
# clang, installed here only.
FUZZBUILD    ?= $(BUILD)/libfuzzer
FUZZ_SECONDS ?= 60
.PHONY: fuzz
fuzz:
	@./scripts/deps.sh clang libclang-rt-dev
	cmake -S . -B $(FUZZBUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	    -DFCL_FUZZ=ON -DBUILD_TESTING=OFF $(CMAKE_ARGS)
	cmake --build $(FUZZBUILD) -j $(JOBS) --target fcl-fuzz
	mkdir -p $(FUZZBUILD)/fuzz/corpus $(FUZZBUILD)/fuzz/findings
	cd $(FUZZBUILD)/fuzz && ./fcl-fuzz -max_total_time=$(FUZZ_SECONDS) -timeout=60 -rss_limit_mb=4096 \
	    -artifact_prefix=findings/ corpus seeds $(CURDIR)/fuzz/findings
