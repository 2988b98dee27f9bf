#!/usr/bin/env bash
# bench-engine.sh -- build the engine benchmark in Release and run it; prints the ratios to the floor.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${BREVIK_BENCH_BUILD:-$root/build/bench}
cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBREVIK_BENCH=ON -DBREVIK_TESTS=OFF >/dev/null
cmake --build "$build_dir" --target archive_bench -j "$(nproc)"
"$build_dir/bench/archive_bench" "$@"
