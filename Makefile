# SPDX-License-Identifier: MIT
# Two commands: `make run` builds and starts the synthesiser, `make test`
# builds and runs every test. Both install missing Debian packages first:
# `make run` only what building and playing need, the test tools come with
# `make test`, `make check` and `make bench`.
BUILD := build
CMAKE_FLAGS ?=
# `make install` puts the program and its manual page under PREFIX, itself
# under DESTDIR when that is set (for packaging).
PREFIX ?= /usr/local
# Continuous integration builds with warnings as errors.
ifeq ($(CI),true)
CMAKE_FLAGS += -DSCOPESYNTH_WERROR=ON
endif

.PHONY: run test check sanitized bench deps build program install deb windows windows-release test-windows

run: program
	./$(BUILD)/scopesynth

test: build
	cd $(BUILD) && ctest --output-on-failure -j2

# Every test again under AddressSanitizer with UndefinedBehaviorSanitizer, and
# under ThreadSanitizer, each in a build folder of its own.
check: deps
	$(MAKE) sanitized BUILD=build-asan SANITIZE=address,undefined
	$(MAKE) sanitized BUILD=build-tsan SANITIZE=thread

sanitized:
	cmake -S . -B $(BUILD) -DSCOPESYNTH_SANITIZE=$(SANITIZE) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j2
	cd $(BUILD) && ctest --output-on-failure -j2

# The full unwinder on every allocation: the sound and video libraries have
# no frame pointers, and a leak suppression must see the stack past them.
export ASAN_OPTIONS = detect_leaks=1:fast_unwind_on_malloc=0
export LSAN_OPTIONS = suppressions=$(CURDIR)/tests/sanitizers/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS = print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS = halt_on_error=1:suppressions=$(CURDIR)/tests/sanitizers/tsan.supp:print_suppressions=0

bench: build
	./$(BUILD)/bench/scopesynth_bench

build: deps
	cmake -S . -B $(BUILD) -DSCOPESYNTH_TESTS=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j2

# The program alone, with only what building and playing it need.
program:
	@scripts/deps run
	cmake -S . -B $(BUILD) -DSCOPESYNTH_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j2 --target scopesynth

install: program
	DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)

deps:
	@scripts/deps test

# The Debian package: build-deb/scopesynth_<version>_<arch>.deb, with its
# debug symbols beside it, linted. dpkg-buildpackage writes its products to
# the parent of the tree it builds, so it builds a copy in build-deb/src.
# scripts/check-deb installs it and starts the installed program.
DEB_BUILD := build-deb
deb:
	@scripts/deps deb
	rm -rf $(DEB_BUILD)
	mkdir -p $(DEB_BUILD)/src
	tar -cf - --exclude=./.git --exclude='./build*' --exclude=__pycache__ . | \
		tar -xf - -C $(DEB_BUILD)/src
	cd $(DEB_BUILD)/src && dpkg-buildpackage -us -uc -b -j2
	lintian --fail-on error $(DEB_BUILD)/scopesynth_*.changes

# The Windows program, cross-built from Linux with the same CMake project:
# build-windows/scopesynth.exe, one static program that needs no DLL beside
# it. Its libraries are built once into build-windows/prefix.
WINDOWS_BUILD := build-windows/cmake
windows:
	@scripts/windows-deps
	cmake -S . -B $(WINDOWS_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake $(CMAKE_FLAGS)
	cmake --build $(WINDOWS_BUILD) -j2 --target scopesynth
	cp $(WINDOWS_BUILD)/scopesynth.exe build-windows/scopesynth.exe

# The Windows release, build-windows/scopesynth-<version>-windows-x86_64.zip:
# the program with a README for players, LICENSE, THIRD_PARTY.md and the
# notices of the libraries it holds (see src/app/CMakeLists.txt), named with
# the CMake project's version.
windows-release: windows
	cmake --build $(WINDOWS_BUILD) -j2 --target windows_release
	cp $(WINDOWS_BUILD)/scopesynth-$$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' \
		$(WINDOWS_BUILD)/CMakeCache.txt)-windows-x86_64.zip build-windows/

# The unit tests and the end-to-end tests of the Windows program, under wine;
# the end-to-end tests play its sound into a JACK server, which they watch
# with the Linux build's JACK client; and the release, unpacked.
test-windows: windows-release build
	@scripts/deps wine
	cmake --build $(WINDOWS_BUILD) -j2
	cd $(WINDOWS_BUILD) && ctest --output-on-failure -j2
