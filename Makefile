# The two commands a player or developer needs: `make run` and `make test`.
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)

.PHONY: all deps configure build run test bench soak asan-test clean

all: build

deps:
	@tools/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@$(BUILD)/orbsimulator

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench: build
	@$(BUILD)/bench/battle_bench
	@$(BUILD)/bench/sim_bench

# Long randomized runs: battles over many army pairs, and user actions across
# all windows.
soak: build
	@ORB_SOAK=$${ORB_SOAK_BATTLES:-100000} $(BUILD)/tests/engine_fuzz_test
	@if [ -x $(BUILD)/tests/ui_fuzz_test ]; then ORB_SOAK=$${ORB_SOAK_ACTIONS:-100000} QT_QPA_PLATFORM=offscreen $(BUILD)/tests/ui_fuzz_test; fi

asan-test: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DORB_SANITIZE=ON -DORB_BENCH=OFF > /dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	@rm -rf $(BUILD) $(ASAN_BUILD)
