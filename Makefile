# escala: build, run and test. `make run` and `make test` set up a fresh
# Debian machine by themselves (see scripts/ensure-deps).

JOBS        ?= 2
RELEASE_DIR := build/release
DEBUG_DIR   := build/debug
SAN_DIR     := build/sanitize
FUZZ_DIR    := build/fuzz
RUN_DIR     := run
SAMPLE      := examples/Lintra.tsk
FUZZ_SECONDS ?= 60

BASE_PACKAGES := cmake make g++ libgtest-dev libgmock-dev faketime libcli11-dev pkg-config libzip-dev libcsv-dev help2man man-db dpkg-dev file liblemon-dev coinor-libcbc-dev libtomlplusplus-dev
TEST_PACKAGES := $(BASE_PACKAGES) chromium poppler-utils
BENCH_PACKAGES := $(BASE_PACKAGES) libbenchmark-dev
FUZZ_PACKAGES := $(BASE_PACKAGES) clang libclang-rt-14-dev

.PHONY: all deps deps-test build run install package test test-sanitize bench fuzz clean

all: build

deps:
	@scripts/ensure-deps $(BASE_PACKAGES)

deps-test:
	@scripts/ensure-deps $(TEST_PACKAGES)

build: deps
	cmake -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(RELEASE_DIR) -j $(JOBS)

# Runs escala on the bundled sample in a scratch directory.
run: build
	mkdir -p $(RUN_DIR)
	cp $(SAMPLE) $(RUN_DIR)/Lintra.tsk
	cd $(RUN_DIR) && ../$(RELEASE_DIR)/escala
	@if [ -x $(RELEASE_DIR)/escala-gantt ]; then \
	  cd $(RUN_DIR) && ../$(RELEASE_DIR)/escala-gantt --out escala.html && \
	  echo "Gantt page: $(CURDIR)/$(RUN_DIR)/escala.html"; fi

# Installs the programs, their man pages, the README and the samples under
# PREFIX (default /usr/local); DESTDIR, when set, is prepended to every path.
PREFIX ?= /usr/local
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(RELEASE_DIR) --prefix "$(PREFIX)"

# The Debian package: build/release/escala_<version>_<arch>.deb.
package: build
	cd $(RELEASE_DIR) && cpack -G DEB
	@ls $(RELEASE_DIR)/escala_*.deb

# Debug build: every move the search carries out is checked against a fresh objective.
test: deps-test
	cmake -S . -B $(DEBUG_DIR) -DCMAKE_BUILD_TYPE=Debug >/dev/null
	cmake --build $(DEBUG_DIR) -j $(JOBS)
	cd $(DEBUG_DIR) && ctest --output-on-failure -j $(JOBS)

# faketime preloads its library ahead of the sanitizer runtime, which the
# runtime accepts once told not to insist on coming first.
test-sanitize: deps-test
	cmake -S . -B $(SAN_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DESCALA_SANITIZE=ON >/dev/null
	cmake --build $(SAN_DIR) -j $(JOBS)
	cd $(SAN_DIR) && ASAN_OPTIONS=verify_asan_link_order=0 ctest --output-on-failure -j $(JOBS)
	rm -rf $(SAN_DIR)/run && mkdir -p $(SAN_DIR)/run && cp $(SAMPLE) $(SAN_DIR)/run/Lintra.tsk
	cd $(SAN_DIR)/run && ../escala < /dev/null > console.txt && tail -n 1 console.txt

bench: deps
	@scripts/ensure-deps $(BENCH_PACKAGES)
	cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DESCALA_BENCH=ON -DESCALA_TESTS=OFF >/dev/null
	cmake --build build/bench -j $(JOBS)
	build/bench/bench/escala_bench --benchmark_format=json --benchmark_out=build/bench/results.json --benchmark_out_format=json $(BENCH_ARGS) >/dev/null
	scripts/bench-ratios build/bench/results.json

# Each fuzz target runs FUZZ_SECONDS on its own corpus, seeded from fuzz/.
FUZZ_TARGETS := fuzz_tasks:corpus fuzz_strict_tasks:corpus fuzz_dump:corpus-dump fuzz_search_log:corpus-log

fuzz:
	@scripts/ensure-deps $(FUZZ_PACKAGES)
	CXX=clang++ cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DESCALA_FUZZ=ON -DESCALA_TESTS=OFF >/dev/null
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target $(foreach t,$(FUZZ_TARGETS),$(word 1,$(subst :, ,$(t))))
	@set -e; for pair in $(FUZZ_TARGETS); do \
	  target=$${pair%%:*}; seeds=$${pair#*:}; \
	  mkdir -p $(FUZZ_DIR)/$$target-corpus; \
	  echo "== $$target, $(FUZZ_SECONDS) s"; \
	  $(FUZZ_DIR)/fuzz/$$target -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 $(FUZZ_DIR)/$$target-corpus fuzz/$$seeds; \
	done

clean:
	rm -rf build $(RUN_DIR)
