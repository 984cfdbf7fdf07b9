# Set-up and the two everyday commands: `make test` and `make run`.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := rx devfile prjfile codepage script tcp
JOBS       ?= $(shell nproc)
CLI        := $(BUILD)/src/app/korvex-cli
GUI        := $(BUILD)/src/app/korvex

.PHONY: all deps configure build test test-plain test-asan test-fuzz fuzz fuzz-build run decode \
        bench soak install clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test-plain: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKORVEX_SANITIZE=ON -DKORVEX_BENCH=OFF >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

# The fuzz targets: clang, libFuzzer, ASan and UBSan, in a build folder of their own.
fuzz-build: deps
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVEX_FUZZ=ON -DKORVEX_BENCH=OFF >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target $(addprefix korvex_fuzz_,$(FUZZ_TARGETS))

# Each target for FUZZ_SECONDS (default 60).
fuzz: fuzz-build
	@bash scripts/run-fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

test-fuzz:
	@$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=30

test: test-plain test-asan test-fuzz

# With a display the desktop program serves the demo; without one korvex-cli.
run: build
	@echo "Serving the project examples/demo.kvxp (PUMP1 at 1, BOILER1 at 2, the demo script)"
	@echo "on the virtual port /tmp/korvex-demo."
	@echo "Point a master at it, e.g.: mbpoll -m rtu -b 9600 -P none -a 1 -t 4 -r 1 -c 4 /tmp/korvex-demo"
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  $(GUI) --virtual=/tmp/korvex-demo examples/demo.kvxp; \
	else \
	  echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): korvex-cli serves instead (Ctrl-C stops)."; \
	  $(CLI) run --virtual=/tmp/korvex-demo examples/demo.kvxp; \
	fi

decode: build
	$(CLI) decode examples/pump.kvxd < examples/traffic.hex

bench: build
	$(BUILD)/bench/korvex_bench_rx
	$(BUILD)/bench/korvex_bench_map
	$(BUILD)/bench/korvex_bench_latency $(CLI)
	$(BUILD)/bench/korvex_bench_script
	$(BUILD)/bench/korvex_bench_script_log
	$(BUILD)/bench/korvex_bench_fault_delay $(CLI)
	$(BUILD)/bench/korvex_bench_tcp $(CLI)

install: build
	cmake --install $(BUILD) $(if $(PREFIX),--prefix $(PREFIX))

# A million mixed requests from a libmodbus master through the virtual port.
soak: build
	$(BUILD)/bench/korvex_bench_soak $(CLI)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
