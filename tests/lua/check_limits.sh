#!/usr/bin/env bash
# Converts generated scripts just below and just above 60,000 items (a
# declaration, a table or an entry each), the most that brindle puts in one
# Lua function, and a far larger one, and checks that a real Lua loads each
# output: flat below the limit, grouped above it.
#
#   check_limits.sh BRINDLE WORK_DIR CHECKER
#       CHECKER is luac5.4, luac5.1 or luajit.
#
# Exits 77 (a skip, for ctest) when CHECKER is not installed, 1 on any
# failure, with the reason printed.
set -uo pipefail

brindle=$1 work=$2 tool=$3

if ! command -v "$tool" >/dev/null; then
  case $tool in
    luac5.4) package=lua5.4 ;;
    luac5.1) package=lua5.1 ;;
    *) package=$tool ;;
  esac
  echo "SKIPPED: $tool is not installed (Debian package $package; scripts/install-deps.sh $package)"
  exit 77
fi
case $tool in
  # Compiling to bytecode meets the same limits as listing it, much faster.
  luajit) load=(luajit -b output.lua /dev/null) ;;
  *) load=("$tool" -p output.lua) ;;
esac

# NAME LAYOUT AWK-PROGRAM: the program prints test.py.
cases=(
  "one_table_below     flat    BEGIN { print \"label a:\"; for (i = 0; i < 59999; i++) print \"path_end\" }"
  "one_table_above     grouped BEGIN { print \"label a:\"; for (i = 0; i < 60000; i++) print \"path_end\" }"
  "many_tables_below   flat    BEGIN { for (i = 0; i < 30000; i++) print \"label l\" i \":\\npath_end\" }"
  "many_tables_above   grouped BEGIN { for (i = 0; i < 30001; i++) print \"label l\" i \":\\npath_end\" }"
  "variables_below     flat    BEGIN { print \"label a:\"; for (i = 0; i < 29999; i++) print \"\$ v\" i \" = 1\" }"
  "variables_far_above grouped BEGIN { print \"label a:\"; for (i = 0; i < 300000; i++) print \"\$ v\" i \" = 1\" }"
)

failed=0
for case in "${cases[@]}"; do
  read -r name layout program <<<"$case"
  dir=$work/$name
  rm -rf "$dir"
  mkdir -p "$dir"
  awk "$program" >"$dir/test.py"
  if ! (cd "$dir" && "$brindle" >/dev/null 2>stderr.txt); then
    echo "FAILED $name: brindle did not convert it:"
    cat "$dir/stderr.txt"
    failed=1
    continue
  fi
  if grep -q '^(function() ' "$dir/output.lua"; then found=grouped; else found=flat; fi
  if [ "$found" != "$layout" ]; then
    echo "FAILED $name: output.lua is $found, not $layout"
    failed=1
  fi
  if ! errors=$(cd "$dir" && "${load[@]}" 2>&1 >/dev/null); then
    echo "FAILED $name: ${load[*]} rejects its $layout output.lua:"
    echo "$errors" | head -c 500
    failed=1
    continue
  fi
  echo "ok $name: ${load[*]} loads its $layout output.lua"
  rm -rf "$dir"
done
exit $failed
