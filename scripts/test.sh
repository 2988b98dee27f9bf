#!/usr/bin/env bash
# test.sh -- install what is missing, then build and run the whole suite twice: a normal build (g++)
# and an AddressSanitizer + UndefinedBehaviorSanitizer build (clang, with the fuzz targets); then the
# threaded tests once more under ThreadSanitizer (clang). Warnings are errors in all of them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"

jobs=$(nproc)
run_suite() {
  local build_dir=$1; shift
  echo "== $(basename "$build_dir"): configure and build (at ${SECONDS} s)"
  cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBREVIK_WERROR=ON "$@" >/dev/null
  cmake --build "$build_dir" -j "$jobs"
  echo "== $(basename "$build_dir"): test (at ${SECONDS} s)"
  ctest --test-dir "$build_dir" --output-on-failure -j "$jobs"
}

run_suite "$root/build/normal" -DCMAKE_INSTALL_PREFIX=/usr
echo "== packages: build, install, use, remove (at ${SECONDS} s)"
"$root/scripts/package.sh" --build "$root/build/normal"
"$root/scripts/test-packages.sh"
# A build folder keeps the compiler it was first configured with: one made by g++ starts afresh.
if [[ -f "$root/build/sanitize/CMakeCache.txt" ]] &&
   ! grep -q '^CMAKE_CXX_COMPILER:FILEPATH=.*clang++' "$root/build/sanitize/CMakeCache.txt"; then
  rm -rf "$root/build/sanitize"
fi
# The sanitizer build is clang's: one build proves that clang compiles everything without a
# warning, runs the suite under ASan+UBSan, and runs each fuzz target for a short while.
CC=clang CXX=clang++ ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite "$root/build/sanitize" -DBREVIK_SANITIZE=ON -DBREVIK_FUZZ=ON
# ThreadSanitizer: only the test files with threads of their own (named *Parallel*, engine and
# scripting), built into one small program; a few minutes on two cores.
if [[ -f "$root/build/tsan/CMakeCache.txt" ]] &&
   ! grep -q '^CMAKE_CXX_COMPILER:FILEPATH=.*clang++' "$root/build/tsan/CMakeCache.txt"; then
  rm -rf "$root/build/tsan"
fi
echo "== tsan: configure and build the threaded tests (at ${SECONDS} s)"
CC=clang CXX=clang++ cmake -S "$root" -B "$root/build/tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBREVIK_WERROR=ON -DBREVIK_SANITIZE_THREAD=ON >/dev/null
cmake --build "$root/build/tsan" -j "$jobs" --target parallel_tests
echo "== tsan: test (at ${SECONDS} s)"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 "$root/build/tsan/tests/parallel_tests" --gtest_filter='*Parallel*'
echo "== all tests passed in every build (in ${SECONDS} s)"
