#!/usr/bin/env bash
# bench.sh -- Release build, then brevik side by side with zip, 7-Zip, bsdtar and Python's zipfile.
#
#   scripts/bench.sh [--full] [--scratch DIR] [--runs N] [--build DIR] [--only GROUPS]
#                    [--corpus NAMES] [--corpora DIR] [--baseline BREVIK]
#
# Quick mode (the default) measures the text and tiny-file corpora (brevik on every core and on one
# thread, zip -6, 7-Zip's fastest mode -mx1 on all its threads, the others, and a one-thread
# libdeflate floor), the text corpus created on one core (taskset -c 0, brevik and zip -6), one
# 256 MiB file of mixed content, a listing of 65535 entries and deleting from one binary archive,
# in about 8 minutes on two cores. --full adds the binary corpus, stored archives, the 1 GiB file
# (when the disk has room) and 7-Zip with its own threads. The scratch folder is /dev/shm/brevik-bench
# when /dev/shm is a tmpfs with room and the memory to back it (see below), else
# $TMPDIR/brevik-bench. --only create,extract,list,delete,password and --corpus text,tiny,mixed
# narrow a run; --baseline puts another brevik command (an older build) beside this one in every
# task, to show what a change gained; --build picks the Release build folder (default build/release).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
scratch=""
full=0
args=()
build="$root/build/release"
while (($#)); do
  case "$1" in
    --full) args+=(--full); full=1 ;;
    --runs) args+=(--runs "$2"); shift ;;
    --scratch) scratch=$2; shift ;;
    --build) build=$2; shift ;;
    --only|--corpus|--corpora|--baseline) args+=("$1" "$2"); shift ;;
    -h|--help) sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "bench.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done

# The default scratch folder is in memory (tmpfs) when there is room: there every tool's time is
# its own work. On a disk file system without a journal (ext4 here) a new file's inode is looked
# for past every inode deleted in the last minutes, so each run would pay for the deletion of the
# run before it, by seconds and by chance. --scratch picks a disk folder to measure there.
# A tmpfs holds its files in memory, so both its own room and the memory still available must
# hold every corpus, archive and extracted tree of the run (a full run keeps a 1 GiB tree per tool).
if [[ -z "$scratch" ]]; then
  need_kib=$((full ? 16 * 1024 * 1024 : 2 * 1024 * 1024))
  memory_kib=$(awk '/^MemAvailable:/ {print $2}' /proc/meminfo 2>/dev/null || echo 0)
  if [[ "$(stat -f -c %T /dev/shm 2>/dev/null)" == tmpfs ]] &&
     (( $(df -k --output=avail /dev/shm | tail -1) > need_kib && ${memory_kib:-0} > need_kib )); then
    scratch=/dev/shm/brevik-bench
  else
    scratch="${TMPDIR:-/tmp}/brevik-bench"
  fi
fi

"$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBREVIK_TESTS=OFF -DBREVIK_BENCH=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target brevik_cli
mkdir -p "$scratch"
g++ -O2 -std=c++20 -o "$build/deflate_floor" "$root/bench/peers/deflate_floor.cpp" -ldeflate
g++ -O2 -std=c++20 -o "$build/measure" "$root/bench/peers/measure.cpp"
python3 "$root/bench/peers/run_bench.py" --brevik "$build/tools/brevik" --floor "$build/deflate_floor" \
  --measure "$build/measure" \
  --scratch "$scratch" "${args[@]}"
