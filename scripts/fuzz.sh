#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and UBSan in
# build-fuzz/ and runs each for a bounded time.
#   scripts/fuzz.sh                  every target for 60 seconds (the CI run)
#   scripts/fuzz.sh 600              every target for ten minutes
#   scripts/fuzz.sh 3600 convert     one target for an hour
# Targets: convert (the whole conversion), string_utils, check (brindle-check
# over any bytes), lsp_messages (the language server's message reader), lsp_edits (a
# story as an editor changes it, against a fresh reading after each edit). The corpus grows in
# build-fuzz/corpus/TARGET across runs. An input that breaks a property is
# saved in build-fuzz/findings/TARGET/ and the script ends with exit code 1;
# replay one with: build-fuzz/fuzz/brindle_fuzz_TARGET FILE
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=60
if [ $# -gt 0 ]; then
  seconds=$1
  shift
fi
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(convert string_utils check lsp_messages lsp_edits)

scripts/install-deps.sh clang-14 libclang-rt-14-dev

# Warnings are shown but not fatal here: clang warns about things g++ does
# not, and the warning-free promise is kept by the g++ builds of test.sh.
build=build-fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 -DBRINDLE_FUZZ=ON \
  -DBRINDLE_TESTS=OFF -DBRINDLE_WERROR=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target "${targets[@]/#/brindle_fuzz_}"

failed=()
for target in "${targets[@]}"; do
  corpus=$build/corpus/$target
  findings=$build/findings/$target
  mkdir -p "$corpus" "$findings"
  seeds=(fuzz/seeds/"$target")
  if [ "$target" = check ]; then
    seeds+=(fuzz/seeds/convert)  # the checker reads what the conversion reads
  fi
  if [ "$target" = convert ]; then
    for story in examples/*/test.py; do
      cp "$story" "$corpus/example-$(basename "$(dirname "$story")").py"
    done
    # Real scripts are read where they are, when this checkout has them beside it.
    if [ -d ../shared/corpus/real ]; then
      seeds+=(../shared/corpus/real)
    else
      echo "note: ../shared/corpus/real not found; fuzzing without the real scripts"
    fi
  fi
  echo "== fuzzing $target for $seconds s"
  log=$build/logs/$target.log
  mkdir -p "$build/logs"
  if ! "$build/fuzz/brindle_fuzz_$target" -max_total_time="$seconds" -timeout=10 \
      -max_len=4096 -dict=fuzz/brindle.dict -print_final_stats=1 \
      -artifact_prefix="$findings/" "$corpus" "${seeds[@]}" 2>&1 | tee "$log"; then
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  # What broke, last, where a log cut to its end still shows it: the
  # sanitizer's or the property's report and the input kept, with the input
  # itself, byte by byte, when it is small.
  for target in "${failed[@]}"; do
    echo "== what broke in $target"
    grep -E -A12 'ERROR:|property broken|ALARM|deadly signal|out-of-memory|SUMMARY' \
      "$build/logs/$target.log" | grep -v '^#[0-9]' | head -40 || true
    for input in "$build/findings/$target"/*; do
      [ -f "$input" ] || continue
      echo "-- $input ($(wc -c <"$input") bytes)"
      if [ "$(wc -c <"$input")" -le 2048 ]; then od -An -c "$input" | head -40; fi
    done
  done
  echo "fuzzing found problems in: ${failed[*]} (inputs in $build/findings/)" >&2
  exit 1
fi
