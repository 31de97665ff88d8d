# Set-up and everyday commands. Each target installs missing Debian packages
# first (scripts/install-deps.sh), then configures and builds with CMake.
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS ?= $(shell nproc)
EXAMPLE ?= $(BUILD)/examples/welcome.qvx

.PHONY: deps build play test sanitize fuzz bench install clean

deps:
	@bash scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

# Plays the example movie in a window; without a display it renders the
# movie headless to a PNG and says where.
play: build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  $(BUILD)/platform/kivra-player $(EXAMPLE); \
	else \
	  $(BUILD)/platform/kivra-player --headless --frames 24 --screenshot $(BUILD)/play.png $(EXAMPLE) && \
	  echo "No display: rendered $(EXAMPLE) headless to $(abspath $(BUILD))/play.png"; \
	fi

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The test suite under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKIVRA_SANITIZE=ON -DKIVRA_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

# Every libFuzzer target for FUZZ_SECONDS each, from its seed corpus.
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIVRA_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@set -e; for f in $(FUZZ_BUILD)/fuzz/*_fuzzer; do \
	  name=$$(basename $$f _fuzzer); \
	  work=$(FUZZ_BUILD)/corpus-$$name; mkdir -p $$work; \
	  cp -n fuzz/corpus/$$name/* $$work/ 2>/dev/null || true; \
	  echo "fuzzing $$name for $(FUZZ_SECONDS) s"; \
	  $$f -max_total_time=$(FUZZ_SECONDS) -timeout=20 -max_len=8192 -print_final_stats=1 $$work; \
	done

bench: build
	$(BUILD)/bench/intake_bench
	$(BUILD)/bench/net_bench
	$(BUILD)/bench/sound_bench
	$(BUILD)/bench/text_field_bench
	@if [ -x $(BUILD)/bench/render_bench ]; then $(BUILD)/bench/render_bench; fi
	@if [ -x $(BUILD)/bench/bitmap_bench ]; then $(BUILD)/bench/bitmap_bench; fi
	@if [ -x $(BUILD)/bench/script_bench ]; then $(BUILD)/bench/script_bench $(BUILD)/bench/scripts bench/scripts; fi
	@if grep -q '^build export_bench:' $(BUILD)/build.ninja 2>/dev/null; then ninja -C $(BUILD) export_bench; fi

# Installs the player, its desktop entry and the .qvx/.qvp file types under
# PREFIX (default /usr/local), then refreshes the desktop's databases.
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)
	@if command -v update-mime-database >/dev/null; then update-mime-database $(PREFIX)/share/mime; fi
	@if command -v update-desktop-database >/dev/null; then update-desktop-database $(PREFIX)/share/applications; fi

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
