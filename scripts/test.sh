#!/usr/bin/env bash
# test.sh -- install what is missing, then build and run the whole suite twice: a normal build and
# an AddressSanitizer + UndefinedBehaviorSanitizer build. Warnings are errors in both.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"

jobs=$(nproc)
run_suite() {
  local build_dir=$1; shift
  echo "== $(basename "$build_dir"): configure and build"
  cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBREVIK_WERROR=ON "$@" >/dev/null
  cmake --build "$build_dir" -j "$jobs"
  echo "== $(basename "$build_dir"): test"
  ctest --test-dir "$build_dir" --output-on-failure -j "$jobs"
}

run_suite "$root/build/normal" -DCMAKE_INSTALL_PREFIX=/usr
echo "== packages: build, install, use, remove"
"$root/scripts/package.sh" --build "$root/build/normal"
"$root/scripts/test-packages.sh"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite "$root/build/sanitize" -DBREVIK_SANITIZE=ON
echo "== all tests passed in both builds"
