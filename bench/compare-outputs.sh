#!/usr/bin/env bash
# Converts the same scripts with two brindle executables and fails on the
# first difference in output.lua, standard output, standard error or exit
# code. The scripts: generated realistic ones (several seeds and sizes), a
# mixed one (a new variable on every `$` line), the hostile shapes, every file
# of ../shared/corpus/real when it is there, and any files given after the two
# executables.
#   bench/compare-outputs.sh OLD_BRINDLE NEW_BRINDLE [SCRIPT...]
set -euo pipefail
cd "$(dirname "$0")/.."
old=$(realpath "$1")
new=$(realpath "$2")
shift 2
generate=build-bench/bench/brindle_generate
[ -x "$generate" ] || { echo "build the benchmarks first (scripts/bench.sh)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/old" "$work/new" "$work/scripts"

for seed in 1 2 3; do "$generate" realistic 3 "$seed" > "$work/scripts/realistic-3-$seed"; done
"$generate" realistic 20 7 > "$work/scripts/realistic-20"
# 5 MB: large enough to be converted in parts (given two processors), each
# with names of its own, and conditions after a cut test names set before it.
"$generate" mixed 5 5 > "$work/scripts/mixed-5"
for kind in deep blanks path_end variables empty; do
  "$generate" "$kind" 1 > "$work/scripts/hostile-$kind"
done
corpus=../shared/corpus/real
if [ -d "$corpus" ]; then
  for file in "$corpus"/*; do
    [ "$(basename "$file")" = SOURCES.md ] || cp "$file" "$work/scripts/corpus-$(basename "$file")"
  done
else
  echo "note: $corpus is absent; comparing generated scripts only"
fi
for file in "$@"; do cp "$file" "$work/scripts/given-$(basename "$file")"; done

run() {  # run BRINDLE DIR SCRIPT
  cp "$3" "$2/test.py"
  rm -f "$2/output.lua"
  (cd "$2" && set +e; "$1" > stdout 2> stderr; echo $? > status)
}

count=0
for script in "$work"/scripts/*; do
  run "$old" "$work/old" "$script"
  run "$new" "$work/new" "$script"
  for file in output.lua stdout stderr status; do
    if ! cmp -s "$work/old/$file" "$work/new/$file"; then
      echo "DIFFERENT $file for $(basename "$script")"
      cmp "$work/old/$file" "$work/new/$file" || true
      exit 1
    fi
  done
  count=$((count + 1))
done
echo "identical on $count scripts"
