# VelaRelay: `make run` and `make test` set up everything they need on Debian 12.

BUILD      ?= build
PORT       ?= 9082
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_ARGS ?=

# Everything the build, the tests and `make run` use. The example clients'
# tests need Node.js and Debian's ws module; a Node.js installed from
# elsewhere is kept, and finds the module through NODE_PATH. The browser
# tests drive Chromium with Selenium through chromedriver, fill its trust
# store with NSS's certutil, and compare its screenshots with Pillow.
PACKAGES := g++ make cmake ninja-build pkg-config qtbase5-dev libtls-dev liburing-dev \
            libgtest-dev libgmock-dev libsystemd-dev openssl python3 python3-websockets iproute2 \
            nodejs node-ws chromium chromium-driver python3-selenium libnss3-tools python3-pil
# The fuzzers are built with clang's libFuzzer.
FUZZ_PACKAGES := clang libclang-rt-14-dev

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps build test run reference console-screenshot sanitize tsan coverage fuzz bench bench-build bench-compare soak deb package-test clean

all: build

# Installs only what is missing, so a machine that has everything is not
# touched and does not need network access.
deps:
	@missing=""; \
	for p in $(PACKAGES) $(EXTRA_PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get update -q && \
	  $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $$missing; \
	fi

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DVELARELAY_WERROR=ON $(CMAKE_ARGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# docs/protocol.md printed anew from docs/protocol.md.in and the relay's
# tables; a test fails while the committed file differs.
reference: build
	$(BUILD)/bin/protocol-reference docs/protocol.md.in --output docs/protocol.md

# docs/console.png anew: the console's browser test leaves the page as it
# shows a classroom at 1280x800 in $(BUILD)/console.png.
console-screenshot: build
	cd $(BUILD) && ctest --output-on-failure -R '^e2e.test_console.InBrowser$$'
	cp $(BUILD)/console.png docs/console.png

run: build
	@echo "Drive the simulated hubs from another terminal, e.g.:  $(BUILD)/bin/velasim --socket $(BUILD)/velasim.sock pen 0 1 16000 9000 1 0"
	VELASYSTEM_SCENARIO=$(CURDIR)/sim/classroom.scenario \
	VELASYSTEM_CONTROL=$(CURDIR)/$(BUILD)/velasim.sock \
	  $(BUILD)/bin/velarelay --port $(PORT)

# The same suite with AddressSanitizer and UndefinedBehaviorSanitizer, or with
# ThreadSanitizer. Any report fails the test that caused it (the options are
# set for every test in cmake/VelaRelayTest.cmake).
sanitize: deps
	$(MAKE) test BUILD=build-asan CMAKE_ARGS='-DCMAKE_BUILD_TYPE=Debug "-DVELARELAY_SANITIZE=address;undefined"'

tsan: deps
	$(MAKE) test BUILD=build-tsan CMAKE_ARGS='-DCMAKE_BUILD_TYPE=Debug -DVELARELAY_SANITIZE=thread'

# Line coverage of src/ and platform/ from the whole suite, in a build of its
# own; the summary goes to standard output, the details to build-coverage/.
COVERAGE_PACKAGES := gcovr

coverage:
	$(MAKE) deps EXTRA_PACKAGES="$(COVERAGE_PACKAGES)"
	find build-coverage -name '*.gcda' -delete 2>/dev/null || true
	$(MAKE) test BUILD=build-coverage CMAKE_ARGS='-DCMAKE_BUILD_TYPE=Debug -DVELARELAY_COVERAGE=ON'
	gcovr --root . --filter 'src/' --filter 'platform/' --exclude '.*_autogen/.*' \
	  --gcov-ignore-parse-errors --print-summary --txt build-coverage/coverage.txt build-coverage

# Each fuzz target (one per parser and one for a whole connection) run for
# FUZZ_SECONDS with ASan and UBSan; the corpus grows in fuzz/corpus-* between
# runs. Needs clang, installed here when missing.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := handshake websocket_decoder dispatch_command mathml connection

fuzz:
	$(MAKE) deps EXTRA_PACKAGES="$(FUZZ_PACKAGES)"
	cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DVELARELAY_WERROR=ON -DVELARELAY_TESTS=OFF -DVELARELAY_FUZZ=ON "-DVELARELAY_SANITIZE=address;undefined"
	cmake --build build-fuzz -j $(JOBS) --target $(addprefix velarelay_fuzz_,$(FUZZ_TARGETS))
	@for t in $(FUZZ_TARGETS); do \
	  mkdir -p fuzz/corpus-$$t && \
	  build-fuzz/bin/velarelay_fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    fuzz/corpus-$$t fuzz/seeds/$$t || exit 1; \
	done

# The relay side by side with two peers (bench/peers): latency with 4 and 32
# clients, fan-out, idle cost, memory and start-up, 5 runs of each with the
# servers interleaved, in a Release build of its own: about 11 minutes of
# measuring. Writes the tables to standard output and bench/results.md. Not
# part of `make test`. linux-perf is for bench/sched-relay.py.
BENCH_PACKAGES := libqt5websockets5-dev linux-perf
BENCH_ARGS ?=

# What `make bench` runs, built alone: for bench/sched-relay.py and
# bench/profile-relay.sh.
bench-build:
	$(MAKE) deps EXTRA_PACKAGES="$(BENCH_PACKAGES)"
	cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELARELAY_TESTS=OFF -DVELARELAY_WERROR=ON
	cmake --build build-bench -j $(JOBS) --target velarelay devcert
	cmake -S bench -B build-bench/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELARELAY_WERROR=ON
	cmake --build build-bench/bench -j $(JOBS)

bench: bench-build
	build-bench/bench/bin/velarelay-bench \
	  --relay $(CURDIR)/build-bench/bin/velarelay --ssl-dir $(CURDIR)/build-bench/bin/ssl \
	  --node "$$(command -v node || command -v nodejs)" --node-path /usr/share/nodejs \
	  --ws-peer $(CURDIR)/bench/peers/ws/server.js --qt-peer $(CURDIR)/build-bench/bench/bin/velarelay-qt-peer \
	  --out $(CURDIR)/bench/out --results $(CURDIR)/bench/results.md $(BENCH_ARGS)

# The relay against its own earlier builds, in the same rounds: BASE is one
# or more commits (`make bench-compare BASE="v1 abc123"`), each built in
# build-baseline/COMMIT from `git archive` and serving this build's
# certificate. Writes bench/compare.md; the peers are left out.
BASE ?= HEAD~1

bench-compare: bench-build
	set -e; baselines=""; for rev in $(BASE); do \
	  id=$$(git rev-parse --short "$$rev^{commit}"); dir=$(CURDIR)/build-baseline/$$id; \
	  if [ ! -x $$dir/build/bin/velarelay ]; then \
	    rm -rf $$dir && mkdir -p $$dir && git archive "$$id" | tar -x -C $$dir; \
	    cmake -S $$dir -B $$dir/build -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELARELAY_TESTS=OFF; \
	    cmake --build $$dir/build -j $(JOBS) --target velarelay; \
	  fi; \
	  rm -rf $$dir/build/bin/ssl && ln -s $(CURDIR)/build-bench/bin/ssl $$dir/build/bin/ssl; \
	  baselines="$$baselines --baseline $$id=$$dir/build/bin/velarelay"; \
	done; \
	build-bench/bench/bin/velarelay-bench --only "relay$$(for rev in $(BASE); do printf ',%s' $$(git rev-parse --short "$$rev^{commit}"); done)" \
	  --relay $(CURDIR)/build-bench/bin/velarelay --ssl-dir $(CURDIR)/build-bench/bin/ssl $$baselines \
	  --node "$$(command -v node || command -v nodejs)" --node-path /usr/share/nodejs \
	  --ws-peer $(CURDIR)/bench/peers/ws/server.js --qt-peer $(CURDIR)/build-bench/bench/bin/velarelay-qt-peer \
	  --out $(CURDIR)/bench/out --results $(CURDIR)/bench/compare.md $(BENCH_ARGS)

# The relay for SOAK_SECONDS under churn, floods, broken frames and requests,
# stalls, hub changes, library faults and pauses, while a few clients check a
# numbered pen stream sample by sample (bench/soak). The normal build: it is
# optimised and keeps its symbols for a crash's backtrace. Writes the table
# to standard output and bench/soak.md; fails when a check fails. Not part
# of `make test`.
SOAK_SECONDS ?= 600
SOAK_ARGS ?=

soak: build
	PYTHONDONTWRITEBYTECODE=1 VELARELAY_BIN=$(CURDIR)/$(BUILD)/bin /usr/bin/python3 bench/soak/soak.py \
	  --seconds $(SOAK_SECONDS) --report $(CURDIR)/bench/soak.md $(SOAK_ARGS)

# Debian packages (velarelay, velarelay-simulator) built with Debian's own
# tools from a copy of the tree in build-deb/, where the packages and
# lintian's report (build-deb/lintian.txt) land. The suite is left out of
# the package build: `make test` runs it.
DEB_DIR      := build-deb
DEB_STAMP    := $(DEB_DIR)/packages.stamp
DEB_PACKAGES := debhelper dpkg-dev fakeroot lintian libsystemd-dev
# What the packages are built from: the tracked files, less the results
# files that the package test, the benchmark and the soak rewrite.
DEB_SOURCES  := $(filter-out tests/package/results.md bench/results.md bench/soak.md,\
                  $(wildcard $(shell git ls-files 2>/dev/null)))

deb:
	rm -f $(DEB_STAMP)
	$(MAKE) $(DEB_STAMP)

$(DEB_STAMP): $(DEB_SOURCES)
	$(MAKE) deps EXTRA_PACKAGES="$(DEB_PACKAGES)"
	rm -rf $(DEB_DIR) && mkdir -p $(DEB_DIR)/src/velarelay
	if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then \
	  git ls-files -z --cached --others --exclude-standard | \
	    tar --null --ignore-failed-read -T - -cf - | tar -C $(DEB_DIR)/src/velarelay -xf -; \
	else \
	  tar --exclude='./build' --exclude='./build-*' --exclude='./.git' -cf - . | tar -C $(DEB_DIR)/src/velarelay -xf -; \
	fi
	cd $(DEB_DIR)/src/velarelay && DEB_BUILD_OPTIONS="nocheck parallel=$(JOBS)" \
	  dpkg-buildpackage -us -uc -b > ../build.log 2>&1 || { tail -40 ../build.log; exit 1; }
	mv $(DEB_DIR)/src/*.deb $(DEB_DIR)/src/*.changes $(DEB_DIR)/src/*.buildinfo $(DEB_DIR)/
	lintian --fail-on error --display-info $(DEB_DIR)/velarelay_*.changes > $(DEB_DIR)/lintian.txt; \
	  status=$$?; cat $(DEB_DIR)/lintian.txt; exit $$status
	touch $@

# The packages installed with apt in a minimal Debian 12 root (debootstrap,
# kept with apt's downloads in build-package-test/) and checked there: the
# user, the keys, the conffile, the unit, the service serving a client, an
# upgrade and a purge. Needs root and minutes; not part of `make test`.
# Results: tests/package/results.md.
PACKAGE_TEST_PACKAGES := debootstrap util-linux python3 python3-websockets openssl

package-test: $(DEB_STAMP)
	$(MAKE) deps EXTRA_PACKAGES="$(PACKAGE_TEST_PACKAGES)"
	$(SUDO) /usr/bin/python3 tests/package/package_test.py --debs $(DEB_DIR) --cache build-package-test \
	  --results tests/package/results.md

clean:
	rm -rf build build-asan build-tsan build-coverage build-fuzz build-bench build-baseline build-deb
	@# build-package-test/ (the cached Debian root) is kept: making it takes minutes.
