#!/usr/bin/env bash
# bench-php.sh -- the cost of crossing from PHP into the component, side by side with the same
# calls through the C++ late-bound client, in one run: a property put, a method call, a property
# get (nanoseconds a call) and a foreach over List of 65535 entries reading each Name (seconds).
# Targets: a member call from PHP within 2 microseconds of the C++ call; the walk under 0.5 s.
#
# Usage: scripts/bench-php.sh [--runs N] [--calls N] [--build DIR] [--out FILE]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=3
calls=1000000
build="$root/build/release"
out=""
while (($#)); do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --calls) calls=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    -h|--help) sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "bench-php: unknown option $1" >&2; exit 2 ;;
  esac
done

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBREVIK_BENCH=ON -DBREVIK_TESTS=OFF >/dev/null
cmake --build "$build" --target brevik brevik_cli brevik_php client_call_bench >/dev/null

scratch=$(mktemp -d "${TMPDIR:-/tmp}/brevik-bench-php.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
export BREVIK_REGISTRY="$scratch/registry.reg"
"$build/tools/brevik" register
archive="$scratch/entries-65535.zip"
python3 - "$archive" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w") as z:
    for i in range(65535):
        z.writestr(f"folder{i // 1000}/entry{i}.txt", "")
PY
php=$(php-config8.2 --php-binary 2>/dev/null || command -v php)

# Alternate the two sides run by run, so that a slow moment of the machine hits both.
declare -A samples
for ((run = 1; run <= runs; run++)); do
  while read -r name value _; do samples[cpp_$name]+="$value "; done \
    < <("$build/bench/client_call_bench" "$archive" "$calls")
  while read -r name value _; do samples[php_$name]+="$value "; done \
    < <("$php" -n -d "extension=$build/bindings/php/brevik.so" "$root/bench/php/crossing_bench.php" "$archive" "$calls")
done
median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

report=$(
  echo "PHP crossing, $(date -u +%Y-%m-%d), $(uname -m), $(nproc) cores, $("$php" -r 'echo PHP_VERSION;'), medians of $runs runs, $calls calls a case"
  echo
  echo "| case | C++ client | PHP | PHP - C++ |"
  echo "|---|---|---|---|"
  worst=0
  for name in property_put method_call property_get; do
    cpp=$(echo "${samples[cpp_$name]}" | median)
    ph=$(echo "${samples[php_$name]}" | median)
    diff=$(awk -v a="$ph" -v b="$cpp" 'BEGIN {printf "%.1f", a - b}')
    echo "| $name (ns a call) | $cpp | $ph | $diff |"
    worst=$(awk -v a="$diff" -v b="$worst" 'BEGIN {print (a > b) ? a : b}')
  done
  cpp=$(echo "${samples[cpp_list_walk]}" | median)
  ph=$(echo "${samples[php_list_walk]}" | median)
  echo "| foreach over List of 65535, reading Name (s) | $cpp | $ph | $(awk -v a="$ph" -v b="$cpp" 'BEGIN {printf "%.3f", a - b}') |"
  echo
  echo "| target | measured | verdict |"
  echo "|---|---|---|"
  echo "| a member call from PHP within 2 us of the C++ call | +$(awk -v w="$worst" 'BEGIN {printf "%.2f", w / 1000}') us at worst | $(awk -v w="$worst" 'BEGIN {print (w <= 2000) ? "met" : "not met"}') |"
  echo "| foreach over 65535 entries under 0.5 s | $ph s | $(awk -v t="$ph" 'BEGIN {print (t < 0.5) ? "met" : "not met"}') |"
)
echo "$report"
if [[ -n $out ]]; then echo "$report" > "$out"; fi
