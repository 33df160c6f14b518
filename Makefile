# Thin front over CMake presets. Every entry point first makes sure the Debian packages are
# there (tools/install-deps installs only what is missing), so a fresh machine needs nothing
# but `make test` or `make run`.

FUZZ_SECONDS ?= 60
# What this machine has: builds and tests use every core unless told otherwise (the presets
# name no machine's facts).
export CMAKE_BUILD_PARALLEL_LEVEL ?= $(shell nproc)
export CTEST_PARALLEL_LEVEL ?= $(shell nproc)
# The host's Qt, whose tools (moc, rcc, uic) the Windows cross build runs.
QT_HOST_PATH ?= $(shell pkg-config --variable=prefix Qt6Core)
QT_HOST_LIBDIR ?= $(shell pkg-config --variable=libdir Qt6Core)
DEV_BUILD := build/dev
RELEASE_BUILD := build/release
# The package's path, as the release build's configuration names it.
PACKAGE = $$(cat $(RELEASE_BUILD)/package-file)

.PHONY: all deps build release run test sanitize fuzz bench screenshot package lint lint-format format \
	clean \
	windows windows-test

all: build

deps:
	@./tools/install-deps

build: deps
	cmake --preset dev
	cmake --build --preset dev

run: build
	$(DEV_BUILD)/bin/quirlomat

# Unit, GUI and end-to-end tests in the developer build, then the Debian package, unpacked
# and run end to end in its turn, and built a second time elsewhere to the same bytes.
test: build
	ctest --preset dev
	$(MAKE) --no-print-directory package
	tests/package/check_package $(PACKAGE) $(DEV_BUILD)/tests/e2e/e2e_tests $(RELEASE_BUILD)/keepers
	tests/reproducible/check_reproducible package $(RELEASE_BUILD)

sanitize: deps
	cmake --preset sanitize
	cmake --build --preset sanitize
	ctest --preset sanitize

# Each libFuzzer target runs for FUZZ_SECONDS seconds in turn, from its seeds and the corpus
# it has gathered in build/fuzz/corpus/<target>, with its dictionary where it has one.
FUZZ_TARGETS := number hand_off selection_request

fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz --target $(FUZZ_TARGETS:%=%_fuzz)
	for target in $(FUZZ_TARGETS); do \
		mkdir -p build/fuzz/corpus/$$target && \
		build/fuzz/tests/fuzz/$${target}_fuzz -max_total_time=$(FUZZ_SECONDS) \
			-print_final_stats=1 \
			$$(test -f tests/fuzz/$$target.dict && echo -dict=tests/fuzz/$$target.dict) \
			build/fuzz/corpus/$$target tests/fuzz/seeds/$$target || exit 1; \
	done

release: deps
	cmake --preset release
	cmake --build --preset release

# The Debian package, from the optimised and hardened build, with its SHA256SUMS beside it;
# lintian must find no error.
package: release
	packaging/make-package $(RELEASE_BUILD) >/dev/null
	lintian --fail-on error $(PACKAGE)

bench: release
	$(RELEASE_BUILD)/bench/quirlomat-bench --benchmark_repetitions=5 \
		--benchmark_report_aggregates_only=true
	$(RELEASE_BUILD)/bench/desktop_bench $(RELEASE_BUILD)/bin/quirlomat \
		$(RELEASE_BUILD)/bench/minimal_window
	$(RELEASE_BUILD)/bench/wayland_bench $(RELEASE_BUILD)/bin/quirlomat

screenshot: build
	cmake --build --preset dev --target screen_grabber
	tests/window/take_screenshot $(DEV_BUILD)/bin/quirlomat \
		$(DEV_BUILD)/tests/window/screen_grabber docs/screenshot.png

# Style and static analysis: the tree follows .clang-format, and clang-tidy (checks chosen in
# .clang-tidy) finds nothing in the project's own sources.
lint-format: deps
	cmake --preset dev
	cmake --build --preset dev --target format-check

# Lays the tree out as .clang-format says.
format: deps
	cmake --preset dev
	cmake --build --preset dev --target format-fix

lint: lint-format build
	run-clang-tidy -quiet -p $(DEV_BUILD) \
		'$(CURDIR)/(generator|runtime|secret|system|clipboard|keeper|window|tests|bench|packaging)/.*\.cpp$$'

# The Windows programs, cross-built with mingw-w64 against the Windows toolkit (Qt and
# libsodium, cached outside the clone): for x64 always, building its toolkit first when it is
# missing (see HACKING.md for how long that takes); for 32-bit x86 when its toolkit is there
# (tools/build-windows-toolkit i686). The icon is rendered by the developer build's renderer,
# so building needs no Wine; windows-test runs their tests under Wine.
WINDOWS_ARCHES = x86_64 $$(tools/build-windows-toolkit --paths i686 >/dev/null 2>&1 && echo i686)

windows:
	./tools/install-deps --windows x86_64
	./tools/build-windows-toolkit x86_64
	cmake --preset dev
	cmake --build --preset dev --target render_icon
	for arch in $(WINDOWS_ARCHES); do \
		cmake --preset windows-$$arch \
			-DQUIRLOMAT_WINDOWS_TOOLKIT="$$(tools/build-windows-toolkit --paths $$arch)" \
			-DQT_HOST_PATH="$(QT_HOST_PATH)" -DQT_HOST_PATH_CMAKE_DIR="$(QT_HOST_LIBDIR)/cmake" \
			-DQUIRLOMAT_ICON_RENDERER="$(CURDIR)/$(DEV_BUILD)/packaging/render_icon" && \
		cmake --build --preset windows-$$arch || exit 1; \
	done

# The tests under Wine, then each program built a second time elsewhere to the same bytes. Wine
# now and then fails a test program at its start, at once and without a word (HACKING.md, The
# Windows build); such a test gets two more tries, and a test that fails every time still fails.
windows-test: windows
	for arch in $(WINDOWS_ARCHES); do \
		ctest --preset windows-$$arch --repeat until-pass:3 && \
		tests/reproducible/check_reproducible windows-$$arch build/windows-$$arch || exit 1; \
	done

clean:
	rm -rf build
