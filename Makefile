# The two commands a player or developer needs: `make run` and `make test`.
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)
# Where `make install` puts the program; ~ works even where the shell leaves it.
PREFIX ?= /usr/local

.PHONY: all deps configure build run test bench soak screenshots asan-test install package clean

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
	@$(BUILD)/bench/force_bench

# Long randomized runs: battles over many army pairs, and user actions across
# all windows.
soak: build
	@ORB_SOAK=$${ORB_SOAK_BATTLES:-100000} $(BUILD)/tests/engine_fuzz_test
	@if [ -x $(BUILD)/tests/ui_fuzz_test ]; then ORB_SOAK=$${ORB_SOAK_ACTIONS:-100000} QT_QPA_PLATFORM=offscreen $(BUILD)/tests/ui_fuzz_test; fi

# Pictures of every window of a short session, on a virtual display with a
# window manager (a large screen and a 1024 x 768 one), in $(BUILD)/screenshots.
screenshots: configure
	@tools/install-deps --screenshots
	@cmake --build $(BUILD) -j $(JOBS) --target screenshots
	@tools/screenshots $(BUILD)

asan-test: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DORB_SANITIZE=ON -DORB_BENCH=OFF > /dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

# Installed like a desktop program: the commands in bin/, the menu entry and
# its icon under share/. `make install PREFIX=~/.local` needs no root.
install: build
	@cmake --install $(BUILD) --strip --prefix "$(patsubst ~%,$(HOME)%,$(PREFIX))"

# A Debian package in $(BUILD)/, for `apt-get install ./build/orb-battle-simulator_*.deb`.
package: build
	@tools/install-deps --package
	@cd $(BUILD) && cpack

clean:
	@rm -rf $(BUILD) $(ASAN_BUILD)
