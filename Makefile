# Thin front over CMake presets. Every entry point first makes sure the Debian packages are
# there (tools/install-deps installs only what is missing), so a fresh machine needs nothing
# but `make test` or `make run`.

FUZZ_SECONDS ?= 60
DEV_BUILD := build/dev
RELEASE_BUILD := build/release
# The package's path, as the release build's configuration names it.
PACKAGE = $$(cat $(RELEASE_BUILD)/package-file)

.PHONY: all deps build release run test sanitize fuzz bench screenshot package lint lint-format clean \
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
	tests/package/check_package $(PACKAGE) $(DEV_BUILD)/tests/e2e/e2e_tests
	tests/reproducible/check_reproducible package $(RELEASE_BUILD)

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
	clang-format --dry-run --Werror $$(git ls-files '*.cpp' '*.h')

lint: lint-format build
	run-clang-tidy -quiet -p $(DEV_BUILD) \
		'$(CURDIR)/(generator|runtime|secret|system|keeper|window|tests|bench|packaging)/.*\.cpp$$'

# The Windows programs, cross-built with mingw-w64 against the Windows toolkit (Qt and
# libsodium, cached outside the clone): for x64 always, building its toolkit first when it is
# missing (about an hour); for 32-bit x86 when its toolkit is there
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
			-DQUIRLOMAT_ICON_RENDERER="$(CURDIR)/$(DEV_BUILD)/packaging/render_icon" && \
		cmake --build --preset windows-$$arch || exit 1; \
	done

# The tests under Wine, then each program built a second time elsewhere to the same bytes.
windows-test: windows
	for arch in $(WINDOWS_ARCHES); do \
		ctest --preset windows-$$arch && \
		tests/reproducible/check_reproducible windows-$$arch build/windows-$$arch || exit 1; \
	done

clean:
	rm -rf build
