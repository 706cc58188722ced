# SPDX-License-Identifier: MIT
# Cross-compiles for 64-bit Windows with Debian's mingw-w64, into programs
# that need no DLL beside them:
#
#   cmake -S . -B build-windows/program -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
#
# PortAudio, SDL 1.2, RtMidi and GoogleTest come from SCOPESYNTH_WINDOWS_PREFIX, where
# scripts/windows-deps builds them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The posix flavour: std::thread and std::mutex need its threads.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

get_filename_component(_scopesynth_default_prefix
  "${CMAKE_CURRENT_LIST_DIR}/../build-windows/prefix" ABSOLUTE)
set(SCOPESYNTH_WINDOWS_PREFIX "${_scopesynth_default_prefix}" CACHE PATH
  "Where the cross-built PortAudio, SDL 1.2, RtMidi and GoogleTest are installed")
# The compiler checks run in projects of their own, which see the cache only
# through this list.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES SCOPESYNTH_WINDOWS_PREFIX)

# Programs from the build machine; libraries, headers and CMake packages from
# mingw-w64 and the prefix only, never the build machine's own.
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 "${SCOPESYNTH_WINDOWS_PREFIX}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config reads the prefix's files alone, and with --static it gives each
# library's Windows system libraries too, which a static archive leaves to
# the program.
set(ENV{PKG_CONFIG_LIBDIR} "${SCOPESYNTH_WINDOWS_PREFIX}/lib/pkgconfig")
unset(ENV{PKG_CONFIG_PATH})
set(PKG_CONFIG_ARGN --static)

# The C and C++ runtimes and winpthread linked in: the .exe imports system
# DLLs only.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# Tests built here run under wine, in the project's own prefix
# (gtest_discover_tests lists them by running the .exe).
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run")
