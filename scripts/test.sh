#!/usr/bin/env bash
# Builds everything and runs every test: the Linux build, then the Windows build
# (cross-compiled with MinGW-w64), whose programs and tests run under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build=${VELMORA_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${VELMORA_CMAKE_ARGS:-}
cmake --build "$build"

# VELMORA_SKIP_WIN32=1 leaves the Windows build out (for example in a sanitizer run).
win32=${VELMORA_WIN32_BUILD_DIR:-build-win32}
if [[ -z ${VELMORA_SKIP_WIN32:-} ]]; then
  cmake -S . -B "$win32" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake ${VELMORA_WIN32_CMAKE_ARGS:-}
  cmake --build "$win32"
  # The command-line tests of the Linux build run the Windows build too.
  export VELMORA_WIN32_PROGRAM_DIR=$PWD/$win32/bin
fi

status=0
(cd "$build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2) || status=1
if [[ -z ${VELMORA_SKIP_WIN32:-} ]]; then
  (cd "$win32" && ctest --output-on-failure -j2) || status=1
fi
exit $status
