#!/usr/bin/env bash
# Converts one example story and checks its output.lua with a real Lua.
#
#   check_example.sh load BRINDLE EXAMPLE_DIR WORK_DIR CHECKER
#       CHECKER is luac5.4, luac5.1 or luajit: the file must compile.
#   check_example.sh play BRINDLE EXAMPLE_DIR WORK_DIR INTERPRETER ENGINE
#       INTERPRETER (lua5.4, luajit, ...) plays the story from label "start"
#       with the reference engine ENGINE; it must end at a path_end, and when
#       EXAMPLE_DIR has expected-trace.txt the trace must equal it.
#   check_example.sh play-grouped BRINDLE EXAMPLE_DIR WORK_DIR INTERPRETER ENGINE CONVERTER
#       CONVERTER (brindle_convert_at_limit) converts the story again, grouped
#       at a limit of 3 items per Lua function; both outputs must play to the
#       same trace.
#
# The conversion must succeed without warnings: a warning would mean that part
# of the example is left out. Exits 77 (a skip, for ctest) when the Lua
# program is not installed, 1 on any failure, with the reason printed.
set -uo pipefail

mode=$1 brindle=$2 example=$3 work=$4 tool=$5

if ! command -v "$tool" >/dev/null; then
  case $tool in
    luac5.4 | lua5.4) package=lua5.4 ;;
    luac5.1 | lua5.1) package=lua5.1 ;;
    *) package=$tool ;;
  esac
  echo "SKIPPED: $tool is not installed (Debian package $package; scripts/install-deps.sh $package)"
  exit 77
fi

rm -rf "$work"
mkdir -p "$work"
cp "$example/test.py" "$work/test.py"
if ! (cd "$work" && "$brindle" >stdout.txt 2>stderr.txt); then
  echo "FAILED: brindle did not convert $example/test.py:"
  cat "$work/stderr.txt"
  exit 1
fi
if [ -s "$work/stderr.txt" ]; then
  echo "FAILED: brindle warned about $example/test.py:"
  cat "$work/stderr.txt"
  exit 1
fi

# Shows the line of output.lua that an error message like
# "output.lua:12: unexpected symbol" points at.
show_failing_line() {
  local line
  line=$(grep -o 'output\.lua:[0-9]*:' <<<"$1" | head -n 1 | tr -dc 0-9)
  [ -n "$line" ] && echo "output.lua line $line: $(sed -n "${line}p" "$work/output.lua")"
}

case $mode in
  load)
    case $tool in
      luajit) command=(luajit -bl output.lua) ;;
      *) command=("$tool" -p output.lua) ;;
    esac
    if ! errors=$(cd "$work" && "${command[@]}" 2>&1 >/dev/null); then
      echo "FAILED: ${command[*]} rejects the output of $example/test.py:"
      echo "$errors"
      show_failing_line "$errors"
      exit 1
    fi
    echo "ok: ${command[*]} loads the output of $example/test.py"
    ;;
  play)
    engine=$6
    if ! (cd "$work" && "$tool" "$engine" output.lua start >trace.txt 2>errors.txt); then
      echo "FAILED: $tool could not play the output of $example/test.py:"
      cat "$work/trace.txt" "$work/errors.txt"
      show_failing_line "$(cat "$work/errors.txt")"
      exit 1
    fi
    if [ -f "$example/expected-trace.txt" ]; then
      if ! diff -u "$example/expected-trace.txt" "$work/trace.txt"; then
        echo "FAILED: the trace under $tool differs from $example/expected-trace.txt (- expected, + actual)"
        exit 1
      fi
      echo "ok: under $tool the trace equals $example/expected-trace.txt"
    else
      echo "ok: $tool played the output of $example/test.py to its end:"
      cat "$work/trace.txt"
    fi
    ;;
  play-grouped)
    engine=$6 converter=$7
    play() { (cd "$work" && "$tool" "$engine" output.lua start >"$1" 2>errors.txt) || {
      echo "FAILED: $tool could not play the $2 output of $example/test.py:"
      cat "$work/$1" "$work/errors.txt"
      exit 1
    }; }
    play flat-trace.txt flat
    if ! (cd "$work" && "$converter" 3); then
      echo "FAILED: $converter did not convert $example/test.py"
      exit 1
    fi
    if ! grep -q '^(function() ' "$work/output.lua"; then
      echo "FAILED: the output of $converter is not grouped"
      exit 1
    fi
    play grouped-trace.txt grouped
    if ! diff -u "$work/flat-trace.txt" "$work/grouped-trace.txt"; then
      echo "FAILED: under $tool the grouped output's trace differs from the flat one's (- flat, + grouped)"
      exit 1
    fi
    echo "ok: under $tool the grouped output plays to the flat output's trace"
    ;;
  *)
    echo "unknown mode: $mode" >&2
    exit 2
    ;;
esac
