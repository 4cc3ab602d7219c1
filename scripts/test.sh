#!/usr/bin/env bash
# Builds stage3 and passes every test: the normal build, the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, and the libFuzzer targets for a short run.
# FUZZ_SECONDS sets the time of the long fuzz run (default 60).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
"$top/scripts/setup.sh"

echo "== format"
"$top/scripts/check_format.sh"

jobs=$(nproc)
export CTEST_OUTPUT_ON_FAILURE=1

# configure DIR GENERATOR [CMAKE ARGUMENTS...]: a build directory that another
# generator made is started afresh, since CMake cannot switch it.
configure() {
    local dir=$1 generator=$2
    shift 2
    if [ -f "$dir/CMakeCache.txt" ] &&
        ! grep -qx "CMAKE_GENERATOR:INTERNAL=$generator" "$dir/CMakeCache.txt"; then
        rm -rf "$dir"
    fi
    cmake -S . -B "$dir" -G "$generator" "$@" >/dev/null
}

echo "== build"
# The tests are asked for by name: a build directory that scripts/demo.sh made left them out.
configure build Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTAGE3_TESTS=ON
cmake --build build -j"$jobs"
(cd build && ctest -j"$jobs" --timeout 600)

echo "== build under AddressSanitizer and UndefinedBehaviorSanitizer"
export ASAN_OPTIONS="abort_on_error=0:halt_on_error=1:detect_leaks=1:strict_string_checks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$top/tests/lsan.supp:print_suppressions=0"
# CMake's default generator (Unix Makefiles) here, Ninja for the others: the
# build has to work with either.
configure build-asan "Unix Makefiles" -DCMAKE_BUILD_TYPE=Debug -DSTAGE3_SANITIZE=ON -DSTAGE3_TESTS=ON
cmake --build build-asan -j"$jobs"
(cd build-asan && ctest -j"$jobs" --timeout 900)

echo "== fuzz"
CC=clang CXX=clang++ configure build-fuzz Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSTAGE3_FUZZ=ON -DFUZZ_SECONDS="${FUZZ_SECONDS:-60}"
cmake --build build-fuzz -j"$jobs"
(cd build-fuzz && ctest -j"$jobs" --timeout 900)
