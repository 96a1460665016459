#!/usr/bin/env bash
# Builds everything and runs every test:
#   1. the Linux build (build/);
#   2. the Windows build (build-win32/, cross-compiled with MinGW-w64), whose
#      programs and tests run under Wine;
#   3. the tests below the window again in a clang build with AddressSanitizer,
#      UBSan and LeakSanitizer (build-sanitize/); VELMORA_SANITIZE_WINDOW=1 adds the
#      window tests (they roughly double the time of this step);
#   4. the tests of the core that read systems on several threads, under
#      ThreadSanitizer (build-tsan/, only the targets those tests need);
#   5. every fuzz target, made by the sanitizer build, for a short fixed time on
#      its seeds (VELMORA_FUZZ_SECONDS, default 10).
# Any failure fails the command; every step runs all the same.
#
# One build only: VELMORA_BUILD_DIR names it and VELMORA_CMAKE_ARGS configures it,
# e.g. the sanitizer build alone, window tests included (see the README).
# VELMORA_SKIP_WIN32=1 leaves the Windows build out, VELMORA_SKIP_SANITIZE=1 the
# sanitizer build, VELMORA_SKIP_TSAN=1 the ThreadSanitizer build, VELMORA_SKIP_FUZZ=1
# the fuzz runs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen
jobs=${VELMORA_TEST_JOBS:-2}
status=0

# step NAME: prints the step and the seconds since the last one.
last=$SECONDS
step() {
  echo "== $1 (previous step: $((SECONDS - last)) s)"
  last=$SECONDS
}

step "Linux build"
build=${VELMORA_BUILD_DIR:-build}
# shellcheck disable=SC2086  # the arguments are words
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_WERROR=ON ${VELMORA_CMAKE_ARGS:-}
cmake --build "$build"

win32=${VELMORA_WIN32_BUILD_DIR:-build-win32}
if [[ -z ${VELMORA_SKIP_WIN32:-} ]]; then
  step "Windows build"
  # shellcheck disable=SC2086
  cmake -S . -B "$win32" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORA_WERROR=ON \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake ${VELMORA_WIN32_CMAKE_ARGS:-}
  cmake --build "$win32"
  # The command-line tests of the Linux build run the Windows build too.
  export VELMORA_WIN32_PROGRAM_DIR=$PWD/$win32/bin
fi

step "Linux tests"
(cd "$build" && ctest --output-on-failure -j"$jobs") || status=1
if [[ -z ${VELMORA_SKIP_WIN32:-} ]]; then
  step "Windows tests"
  (cd "$win32" && ctest --output-on-failure -j"$jobs") || status=1
fi

# A single build was asked for: that is all.
if [[ -n ${VELMORA_BUILD_DIR:-} ]]; then exit $status; fi

if [[ -z ${VELMORA_SKIP_SANITIZE:-} ]]; then
  step "Tests under AddressSanitizer, UBSan and LeakSanitizer (build-sanitize)"
  window=OFF werror=ON
  # The window's code is checked for warnings by the Linux build's compiler.
  [[ ${VELMORA_SANITIZE_WINDOW:-0} == 1 ]] && window=ON werror=OFF
  # The Windows programs ran in the Linux tests already; here only our own code
  # is under the sanitizers. Made with clang, the build holds the fuzz targets too.
  (
    unset VELMORA_WIN32_PROGRAM_DIR
    # shellcheck disable=SC2086
    cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_SANITIZE=ON \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DVELMORA_BUILD_BENCH=OFF -DVELMORA_BUILD_UI=$window -DVELMORA_WERROR=$werror ${VELMORA_CMAKE_ARGS:-}
    cmake --build build-sanitize
    cd build-sanitize && ctest --output-on-failure -j"$jobs"
  ) || status=1
fi

if [[ -z ${VELMORA_SKIP_TSAN:-} ]]; then
  step "Tests of threads under ThreadSanitizer (build-tsan)"
  # The tests that read one system on two threads and two systems side by side,
  # and those of the registry, the paths and the scan they go through; the ratings,
  # whose index is made on a thread of its own.
  tsan_tests="test_platform_threads test_entries_scan_pass test_platform_registry test_platform_paths
    test_platform_offline_registry test_database_rating"
  (
    unset VELMORA_WIN32_PROGRAM_DIR
    cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_TSAN=ON \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVELMORA_BUILD_BENCH=OFF -DVELMORA_WERROR=ON
    # shellcheck disable=SC2086  # the list is words
    cmake --build build-tsan --target $tsan_tests
    failed=0
    for test in $tsan_tests; do
      TSAN_OPTIONS=halt_on_error=1 "build-tsan/tests/$test" --gtest_brief=1 || failed=1
    done
    exit $failed
  ) || status=1
fi

if [[ -z ${VELMORA_SKIP_FUZZ:-} ]]; then
  fuzz_dir=build-sanitize
  [[ -n ${VELMORA_SKIP_SANITIZE:-} ]] && fuzz_dir=build-fuzz
  step "Every fuzz target for ${VELMORA_FUZZ_SECONDS:-10} seconds ($fuzz_dir)"
  # A fixed seed: the short runs here repeat the same mutations each time, so a
  # failure is reproducible; long campaigns (scripts/fuzz.sh) draw random ones.
  VELMORA_FUZZ_SEED=${VELMORA_FUZZ_SEED:-1} bash scripts/fuzz.sh "$fuzz_dir" "${VELMORA_FUZZ_SECONDS:-10}" || status=1
fi
step "Done"
exit $status
