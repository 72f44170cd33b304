# The two commands a player or developer needs: `make run` and `make test`.
BUILD ?= build
ASAN_BUILD ?= build-asan
# The browser edition: Emscripten's build folder, and where the edition is put together.
WEB_BUILD ?= $(BUILD)/web-build
WEB_OUT = $(abspath $(BUILD))/web
JOBS ?= $(shell nproc)
# Where `make install` puts the program; ~ works even where the shell leaves it.
PREFIX ?= /usr/local

.PHONY: all deps configure build run test bench soak screenshots asan-test install package clean web web-test web-bench
.PHONY: web-npm web-page web-page-test web-run web-screenshots web-audit format lint

all: build

deps:
	@tools/install-deps

# The compile commands are what clang-tidy reads in `make lint`.
configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_EXPORT_COMPILE_COMMANDS=ON > /dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@$(BUILD)/orbsimulator

test: build web
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	@$(WEB_TEST)

# Every tracked C++ file in the project's own format (.clang-format).
CXX_FILES = $(shell git ls-files '*.cpp' '*.h')
format: deps
	@clang-format -i $(CXX_FILES)

# The checks `.ci/run` makes before the tests: the format of every tracked
# C++ file; clang-tidy's checks (.clang-tidy) over the product's C++, as
# the build compiles it (the tests and benchmarks are not product code);
# ESLint over the page's TypeScript.
TIDY_FILES = ^$(CURDIR)/(army|battle|document|files|rules|cli|app|ui)/[^/]+\.cpp$$
lint: build web-npm
	@clang-format --dry-run -Werror $(CXX_FILES)
	@run-clang-tidy -p $(BUILD) -quiet -j $(JOBS) '$(TIDY_FILES)' > $(BUILD)/clang-tidy.log 2>&1 \
	  || { sed 's/\x1b\[[0-9;]*m//g' $(BUILD)/clang-tidy.log | grep -E -A3 '(warning|error):' >&2; echo "make lint: clang-tidy found the faults above (all of them in $(BUILD)/clang-tidy.log)." >&2; exit 1; }
	@cd web && node_modules/.bin/eslint --max-warnings 0

# Debian's Emscripten runs its JavaScript tools with node; a Node that is not
# Debian's own does not look for their modules where Debian keeps them.
export NODE_PATH := /usr/share/nodejs$(if $(NODE_PATH),:$(NODE_PATH))

# The browser edition's engine in $(BUILD)/web: the same army, battle and
# army-file sources compiled to WebAssembly, and the scripts that drive it.
web:
	@tools/install-deps --web
	@for tool in emcmake:emscripten em++:emscripten node:nodejs; do \
	  command -v $${tool%%:*} > /dev/null || { echo "make web: $${tool%%:*} was not found. Install the Debian package $${tool#*:} (tools/install-deps --web installs everything the web build needs)." >&2; exit 1; }; \
	done
	@emcmake cmake -S web -B $(WEB_BUILD) -DORB_WEB_OUT=$(WEB_OUT) > /dev/null
	@cmake --build $(WEB_BUILD) -j $(JOBS) --target web

# The browser engine against orbsim, under Node's own test runner; `make
# test` runs it after the rest. It runs with each build of the engine: V8
# told to do without SSE4.1 has no WebAssembly SIMD, as on an older
# processor, and the engine falls back to the build without it.
WEB_TEST_RUN = ORB_WEB_DIR=$(WEB_OUT) ORB_ORBSIM=$(abspath $(BUILD))/orbsim ORB_ENGINE_BUILD=$(1) node $(2) --test web/test/engine.test.mjs
WEB_TEST = $(call WEB_TEST_RUN,orb-engine) && $(call WEB_TEST_RUN,orb-engine-nosimd,--no-enable-sse4-1)
web-test: configure web
	@cmake --build $(BUILD) -j $(JOBS) --target orbsim
	@$(WEB_TEST)

# The page's npm toolchain and test driver, installed from the lock file,
# and the browser they drive.
web-npm:
	@tools/install-deps --web
	@for tool in npm:npm chromium:chromium; do \
	  command -v $${tool%%:*} > /dev/null || { echo "make $(MAKECMDGOALS): $${tool%%:*} was not found. Install the Debian package $${tool#*:} (tools/install-deps --web installs everything the web build needs)." >&2; exit 1; }; \
	done
	@[ web/node_modules/.installed -nt web/package-lock.json ] || { cd web && npm ci --no-audit --no-fund --loglevel=error && touch node_modules/.installed; }

# The browser edition's page in $(BUILD)/web beside the engine, type-checked
# and bundled.
web-page: web web-npm
	@web/node_modules/.bin/tsc -p web/page/tsconfig.json
	@node web/page/build.mjs $(WEB_OUT)

# The page in Debian's Chromium, headless: a player's journey and hostile
# input; `make test` runs it before the rest.
WEB_PORT ?= 8080
web-page-test: configure web-page
	@cmake --build $(BUILD) -j $(JOBS) --target orbsim
	@ORB_WEB_DIR=$(WEB_OUT) ORB_ORBSIM=$(abspath $(BUILD))/orbsim node --test web/e2e/page.test.mjs
test: web-page-test

# Serves the browser edition on 127.0.0.1 (WEB_PORT=8080 by default).
web-run: web-page
	@node web/page/serve.mjs $(WEB_OUT) $(WEB_PORT)

# Lighthouse against the page as `make web-run` serves it, in Debian's
# Chromium, on a phone and on a desktop: the scores, the load figures and
# the reports in $(BUILD)/web-audit. Installed from a lock file of its own,
# so that `make test` never needs it.
web-audit: web-page
	@[ web/audit/node_modules/.installed -nt web/audit/package-lock.json ] || { cd web/audit && npm ci --no-audit --no-fund --loglevel=error && touch node_modules/.installed; }
	@CHROME_PATH=$${CHROME_PATH:-/usr/bin/chromium} node web/audit/audit.mjs $(WEB_OUT) $(abspath $(BUILD))/web-audit

# Pictures of every state of a player's journey at 1280 x 800 and 390 x 844,
# in $(BUILD)/web-screenshots.
web-screenshots: web-page
	@ORB_WEB_DIR=$(WEB_OUT) node web/e2e/screenshots.mjs $(abspath $(BUILD))/web-screenshots

# The WebAssembly engine's ns per strike under Node and in Chromium beside
# the native engine's, all built from one source and timed in turns in one
# sitting (a busy machine only ever slows a turn down: the best of each are
# compared), then the worker pool against orbsim on the largest armies.
web-bench: configure web web-npm
	@cmake --build $(BUILD) -j $(JOBS) --target orbsim
	@cmake -S web -B $(BUILD)/web-bench-native -DCMAKE_BUILD_TYPE=Release > /dev/null
	@cmake --build $(BUILD)/web-bench-native -j $(JOBS) --target web_bench
	@cmake --build $(WEB_BUILD) -j $(JOBS) --target web_bench web_bench-nosimd
	@node web/bench/engine_bench.mjs $(BUILD)/web-bench-native/web_bench $(WEB_BUILD)
	@node web/bench/pool_bench.mjs $(WEB_OUT) $(abspath $(BUILD))/orbsim bench/largest.json 999

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
	@appstreamcli validate --no-net packaging/*.metainfo.xml
	@lintian --fail-on error,warning $(BUILD)/orb-battle-simulator_*.deb

clean:
	@rm -rf $(BUILD) $(ASAN_BUILD)
