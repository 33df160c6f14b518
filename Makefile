# Thin front over CMake presets. Every entry point first makes sure the Debian packages are
# there (tools/install-deps installs only what is missing), so a fresh machine needs nothing
# but `make test` or `make run`.

FUZZ_SECONDS ?= 60
DEV_BUILD := build/dev
RELEASE_BUILD := build/release

.PHONY: all deps build run test sanitize fuzz bench screenshot package lint format clean

all: build

deps:
	@./tools/install-deps

build: deps
	cmake --preset dev
	cmake --build --preset dev

run: build
	$(DEV_BUILD)/window/quirlomat

test: build
	ctest --preset dev

sanitize: deps
	cmake --preset sanitize
	cmake --build --preset sanitize
	ctest --preset sanitize

fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz --target number_fuzz
	mkdir -p build/fuzz/corpus
	build/fuzz/tests/fuzz/number_fuzz -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
		-dict=tests/fuzz/number.dict build/fuzz/corpus tests/fuzz/seeds

bench: deps
	cmake --preset release
	cmake --build --preset release
	$(RELEASE_BUILD)/bench/quirlomat-bench --benchmark_repetitions=5 \
		--benchmark_report_aggregates_only=true

clean:
	rm -rf build
