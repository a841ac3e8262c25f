#!/usr/bin/env bash
# Converts the same scripts with two brindle executables and fails on the
# first difference in output.lua, standard output, standard error or exit
# code; with --check, also checks them with two brindle-check executables,
# plainly and with --json, and fails on the first difference in what they
# print or their exit code. The scripts: generated realistic ones (several
# seeds and sizes), a mixed one (a new variable on every `$` line), the
# hostile shapes, every file of ../shared/corpus/real when it is there, the
# examples, and any files given after the executables.
#   bench/compare-outputs.sh OLD_BRINDLE NEW_BRINDLE [--check OLD_CHECK NEW_CHECK] [SCRIPT...]
set -euo pipefail
cd "$(dirname "$0")/.."
old=$(realpath "$1")
new=$(realpath "$2")
shift 2
old_check=""
new_check=""
if [ "${1:-}" = --check ]; then
  old_check=$(realpath "$2")
  new_check=$(realpath "$3")
  shift 3
fi
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
for file in examples/*/test.py; do cp "$file" "$work/scripts/example-$(basename "$(dirname "$file")")"; done
# Numbered, so that files of the same name (every test.py) all count.
given=0
for file in "$@"; do
  given=$((given + 1))
  cp "$file" "$work/scripts/given-$given-$(basename "$file")"
done

run() {  # run BRINDLE DIR SCRIPT [CHECK]
  cp "$3" "$2/test.py"
  rm -f "$2/output.lua"
  (cd "$2" && set +e; "$1" > stdout 2> stderr; echo $? > status)
  [ -n "${4:-}" ] || return 0
  (cd "$2" && set +e; "$4" > check.stdout 2> check.stderr; echo $? > check.status
   "$4" --json > json.stdout 2> json.stderr; echo $? > json.status)
}

count=0
for script in "$work"/scripts/*; do
  run "$old" "$work/old" "$script" "$old_check"
  run "$new" "$work/new" "$script" "$new_check"
  files=(output.lua stdout stderr status)
  [ -z "$new_check" ] || files+=(check.stdout check.stderr check.status json.stdout json.stderr json.status)
  for file in "${files[@]}"; do
    if ! cmp -s "$work/old/$file" "$work/new/$file"; then
      echo "DIFFERENT $file for $(basename "$script")"
      cmp "$work/old/$file" "$work/new/$file" || true
      exit 1
    fi
  done
  count=$((count + 1))
done
echo "identical on $count scripts"
