# Thin wrapper around CMake: install what is missing, build, run, test.
BUILD ?= build
RELEASE_BUILD ?= build-release
JOBS ?= 2

PACKAGE_BUILD ?= build-package

.PHONY: all deps configure build run test golden-large bench fuzz package windows-cli windows format check-format clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# The main job on the bundled sample: the desktop application when a display is present,
# otherwise the sample's members and figures on the terminal.
run: build
	@if [ -n "$${DISPLAY}$${WAYLAND_DISPLAY}" ]; then \
	  $(BUILD)/bin/kroanalyze samples/sample.KRO; \
	else \
	  $(BUILD)/bin/kro info samples/sample.KRO; \
	fi

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The Debian package (kroanalyze_VERSION_ARCH.deb in the package build folder), from a Release
# build installed under /usr.
# Built with Debian's hardening flags (stack protector, fortify, PIE, relro and bindnow).
package: deps
	@export DEB_BUILD_MAINT_OPTIONS=hardening=+all; \
	  CFLAGS="$$(dpkg-buildflags --get CFLAGS) $$(dpkg-buildflags --get CPPFLAGS)" \
	  CXXFLAGS="$$(dpkg-buildflags --get CXXFLAGS) $$(dpkg-buildflags --get CPPFLAGS)" \
	  LDFLAGS="$$(dpkg-buildflags --get LDFLAGS)" \
	  cmake -S . -B $(PACKAGE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DKRO_BUILD_TESTS=OFF \
	  -DKRO_BUILD_BENCH=OFF -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_POSITION_INDEPENDENT_CODE=ON >/dev/null
	@cmake --build $(PACKAGE_BUILD) -j $(JOBS)
	@cd $(PACKAGE_BUILD) && cpack -G DEB

# kro.exe for 64-bit Windows, cross-built with mingw-w64 against libraries built once from
# Debian's source packages (scripts/build-windows-deps.sh); its tests run under wine, its
# outputs are compared with the Linux build's, and it transfers from the virtual instrument
# through a Win32 serial port.
WINDOWS_BUILD ?= build-windows
WINDOWS_CACHE ?= $(or $(KRO_WINDOWS_CACHE),$(HOME)/.cache/kroanalyze-windows)
WINE_PREFIX = $(CURDIR)/$(WINDOWS_BUILD)/wine-prefix
# $(1): the folder of Qt for Windows, or nothing for kro.exe alone.
define windows_build
	@bash scripts/build-windows-deps.sh
	@cmake -S . -B $(WINDOWS_BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/windows-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DKRO_WINDOWS_QT=$(1) -DKRO_WINDOWS_PREFIX=$(WINDOWS_CACHE)/prefix >/dev/null
	@cmake --build $(WINDOWS_BUILD) -j $(JOBS)
	@# A wine prefix of the build's own (never the developer's ~/.wine, whose server the serial
	@# test would end), made and settled before the tests run in parallel in it. A wine process
	@# started while the prefix is still being set up can fail before the program runs, so a test
	@# that fails is run once more: a fault of the program fails both times.
	@export WINEPREFIX=$(WINE_PREFIX) WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe="; \
	  wineboot -i >/dev/null 2>&1; wineserver -w; \
	  cd $(WINDOWS_BUILD) && ctest --output-on-failure -j $(JOBS) --repeat until-pass:2
	@WINEPREFIX=$(WINE_PREFIX) bash tests/windows/compare_outputs.sh $(CURDIR)/$(BUILD)/bin/kro $(CURDIR)/$(WINDOWS_BUILD)/bin/kro.exe samples/sample.KRO
	@WINEPREFIX=$(WINE_PREFIX) bash tests/windows/serial_transfer.sh $(CURDIR)/$(BUILD)/bin/kro $(CURDIR)/$(WINDOWS_BUILD)/bin/kro.exe samples/sample.KRO
	@bash tests/windows/signing.sh $(WINDOWS_BUILD)/bin/kro.exe
endef
windows-cli: build
	$(call windows_build,)

# The whole program for Windows: as windows-cli, with the window and kro-qt.exe built against Qt
# for Windows (scripts/build-windows-qt.sh: long the first time, then cached), packed into
# build-windows/kroanalyze-VERSION-win64.zip and kroanalyze-VERSION-setup.exe, and both tried in a
# new wine prefix (tests/windows/package_check.sh; screenshots in build-windows/package).
windows: build
	@bash scripts/build-windows-qt.sh
	$(call windows_build,$(WINDOWS_CACHE)/qt)
	@bash scripts/pack-windows.sh $(WINDOWS_BUILD)
	@version=$$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' $(WINDOWS_BUILD)/CMakeCache.txt); \
	  bash tests/windows/package_check.sh $(CURDIR)/$(BUILD)/bin/kro \
	  $(WINDOWS_BUILD)/kroanalyze-$$version-win64.zip $(WINDOWS_BUILD)/kroanalyze-$$version-setup.exe \
	  samples/sample.KRO $(WINDOWS_BUILD)/package

# The Word reports of a 1,000-member project against the digests of their golden files (outside
# the every-commit run: it takes about a minute).
golden-large: build
	@/usr/bin/python3 tests/office/report_golden.py $(BUILD)/bin/kro --large

# Benchmarks in a Release build.
bench: deps
	@cmake -S . -B $(RELEASE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DKRO_BUILD_TESTS=OFF >/dev/null
	@cmake --build $(RELEASE_BUILD) -j $(JOBS) --target kro_benchmarks kro_gui_benchmarks
	@$(RELEASE_BUILD)/bench/kro_benchmarks
	@$(RELEASE_BUILD)/bench/kro_gui_benchmarks

# Every libFuzzer target, each until 10 million runs or FUZZ_SECONDS (default 30 minutes).
FUZZ_SECONDS ?= 1800
fuzz: deps
	@bash scripts/run-fuzzers.sh $(FUZZ_SECONDS)

# Formats every C++ source with .clang-format; check-format only reports.
format: deps
	@bash scripts/check-format.sh --fix

check-format: deps
	@bash scripts/check-format.sh

clean:
	@rm -rf $(BUILD) $(RELEASE_BUILD) build-fuzz build-sanitize $(WINDOWS_BUILD)
