#!/usr/bin/env bash
# Builds the benchmarks in build-bench/ (Release) and prints brindle's figures:
# realistic scripts beside awk and cat in paired rounds (the medians of the
# times and of the ratios awk/brindle and brindle/cat within each round, MB/s,
# brindle's peak memory), brindle-check on them beside
# `luac5.4 -p` on the same output.lua, peak memory on scripts full of new
# variables, the hostile shapes at two sizes ten times apart, the latencies
# and peak memory of brindle-check --lsp at 1, 10 and 100 MB, the
# instructions brindle runs on one realistic script (valgrind's count, which
# a busy machine cannot blur; the baseline's beside it when one is given),
# the conversion alone in this process (MB/s on one thread and on all, and
# the script's first block repeated, whose lines the processor foresees), a
# play of 10,000 entries by brindle-check --play on 1 MB, then
# the micro-benchmarks of the hot operations.
#   scripts/bench.sh            sizes 1, 10 and 100 MB, 6 runs (rounds) each; memory 40
#                               and 30 MB;
#                               hostile 10 and 100 MB; instructions on 10 MB
#   scripts/bench.sh --smoke    one run of 1 MB, memory 1 MB, hostile 0.1 and 1 MB,
#                               the server at 1 MB, instructions on 1 MB,
#                               short micro-benchmarks
#   scripts/bench.sh OPTIONS    passed to brindle_bench (--baseline, --sizes, --runs,
#                               --memory, --hostile, --dir, --seed, --pause)
#   scripts/bench.sh --sizes 100 --runs 8 --pause 3
#                               the realistic table with each run 3 s after the one
#                               before, as an author runs brindle after an edit
#   scripts/bench.sh --baseline OLD/brindle --sizes 10,100 --runs 9
#                               the realistic and memory tables with an older executable
#                               beside this one
# Nothing here passes or fails on speed; it only fails when a program does.
set -euo pipefail

micro=()
options=(--sizes 1,10,100 --runs 6 --hostile 10)
lsp_sizes=(1 10 100)
lsp_runs=7
counted_size=10
play_runs=7
if [ "${1:-}" = "--smoke" ]; then
  options=(--sizes 1 --runs 1 --memory 1,1 --hostile 0.1)
  micro=(--benchmark_min_time=0.01)
  lsp_sizes=(1)
  lsp_runs=2
  counted_size=1
  play_runs=2
  shift
fi
# Paths given are from the caller's folder, but the harness runs from the root.
args=()
baseline=""
while [ $# -gt 0 ]; do
  args+=("$1")
  if [ $# -gt 1 ] && { [ "$1" = --baseline ] || [ "$1" = --dir ]; }; then
    args+=("$(realpath -m -- "$2")")
    [ "$1" = --baseline ] && baseline=${args[-1]}
    shift
  fi
  shift
done

cd "$(dirname "$0")/.."
scripts/install-deps.sh libbenchmark-dev valgrind
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRINDLE_BENCH=ON \
  -DBRINDLE_TESTS=OFF -DBRINDLE_WERROR=ON >/dev/null
cmake --build build-bench --target brindle brindle-check brindle_bench brindle_generate \
  brindle_micro_bench brindle_play_bench

build-bench/bench/brindle_bench --brindle build-bench/brindle --check build-bench/brindle-check \
  "${options[@]}" "${args[@]}"
echo

# A play of 10,000 entries of the realistic script, made playable.
build-bench/bench/brindle_play_bench 1 "$play_runs"
echo

# The language server where the author types: realistic scripts opened,
# changed, asked.
lsp_dir=$(mktemp -d /dev/shm/brindle-lsp-XXXXXX 2>/dev/null || mktemp -d)
trap 'rm -rf "$lsp_dir"' EXIT
for size in "${lsp_sizes[@]}"; do
  build-bench/bench/brindle_generate realistic "$size" 1 >"$lsp_dir/test.py"
  echo "brindle-check --lsp on a realistic script of $size MB ($lsp_runs runs)"
  python3 bench/lsp_latency.py build-bench/brindle-check "$lsp_dir/test.py" "$lsp_runs"
  echo
done

# Instructions, counted by valgrind on the same realistic script: the figure
# that shows one build no slower than another on a noisy machine.
count_dir="$lsp_dir/count"
mkdir -p "$count_dir"
build-bench/bench/brindle_generate realistic "$counted_size" 5 >"$count_dir/test.py"
echo "brindle on a realistic script of $counted_size MB, instructions (valgrind lackey)"
for program in build-bench/brindle ${baseline:+"$baseline"}; do
  program=$(realpath -- "$program")
  instructions=$(cd "$count_dir" && valgrind --tool=lackey "$program" 2>&1 >/dev/null |
    sed -n 's/.*guest instrs: *\([0-9,]*\).*/\1/p' | tr -d ,)
  echo "  $program: $instructions"
done
echo
build-bench/bench/brindle_micro_bench "${micro[@]}"
