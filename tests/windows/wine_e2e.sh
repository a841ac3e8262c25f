#!/usr/bin/env bash
# End-to-end tests of the Windows build, run under wine.
#
#   wine_e2e.sh BRINDLE_EXE NATIVE_BRINDLE EXAMPLES_DIR [HOLD_FILE_EXE [CHECK_EXE NATIVE_CHECK]]
#
# With CHECK_EXE (brindle-check.exe) and its Linux build, a story with faults
# and one without are checked under wine too: the report must be the native
# one with CR LF, with exit code 1 and 0; and the tour of EXAMPLES_DIR is
# played (--play) as its expected-play.txt says, with CR LF.
#
# BRINDLE_EXE is a 64-bit brindle.exe; NATIVE_BRINDLE the Linux build of the
# same sources, which serves as the reference for what a conversion gives;
# HOLD_FILE_EXE, built from hold_file.cpp beside this script, holds
# output.lua open for the case of a file another program uses (skipped
# without it).
# On Windows the files and messages must be the same as natively, except that
# every line feed written becomes CR LF (output.lua, and standard output and
# error, which are text streams there), and CR LF input converts like LF
# input. Error reasons are the system's texts, so wine's wording is accepted.
#
# Wine runs headless in a fresh prefix under /tmp, which is removed, and whose
# wine server is stopped, when the script ends. Prints one line per check and
# a closing "wine: N passed, N failed"; exits 1 when any check failed.
set -uo pipefail

exe=$(realpath "$1")
native=$(realpath "$2")
examples=$(realpath "$3")
holder=${4:+$(realpath "$4")}
check_exe=${5:+$(realpath "$5")}
native_check=${6:+$(realpath "$6")}

scratch=$(mktemp -d /tmp/brindle-wine.XXXXXX)
export WINEPREFIX=$scratch/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT

started=$(date +%s%N)
# A persistent server: later runs, also those under a file-size limit, attach
# to it rather than starting their own. It needs the prefix folder to exist.
mkdir -p "$WINEPREFIX"
wineserver -p
if ! wineboot --init >"$scratch/wineboot.log" 2>&1; then
  echo "wine could not create its prefix:"
  cat "$scratch/wineboot.log"
  exit 1
fi
elapsed_ms=$((($(date +%s%N) - started) / 1000000))
printf 'wine prefix created in %d.%03d s\n' $((elapsed_ms / 1000)) $((elapsed_ms % 1000))

source "$(dirname "${BASH_SOURCE[0]}")/../shell/checks.sh"

# Sets $dir to a new, empty folder.
case_number=0
new_dir() {
  case_number=$((case_number + 1))
  dir=$scratch/case$case_number
  mkdir -p "$dir"
}

# Runs brindle.exe (or, with "native", the Linux build) in DIR; leaves
# out.txt, err.txt and rc.txt beside the folder.
run_in() {
  local dir=$1 program=$exe
  [ "${2:-}" = native ] && program=$native
  if [ "$program" = "$exe" ]; then
    (cd "$dir" && wine "$program" >"$dir.out" 2>"$dir.err")
  else
    (cd "$dir" && "$program" >"$dir.out" 2>"$dir.err")
  fi
  echo $? >"$dir.rc"
}

same() { cmp -s "$1" "$2"; }
listing() { (cd "$1" && ls -A); }

# Converts SCRIPT_FILE natively and under wine and compares everything.
same_as_native() {
  local name=$1 script=$2
  local native_dir wine_dir
  new_dir
  native_dir=$dir
  new_dir
  wine_dir=$dir
  cp "$script" "$native_dir/test.py"
  cp "$script" "$wine_dir/test.py"
  run_in "$native_dir" native
  run_in "$wine_dir"
  crlf "$native_dir/output.lua" >"$native_dir.expected-lua"
  crlf "$native_dir.out" >"$native_dir.expected-out"
  crlf "$native_dir.err" >"$native_dir.expected-err"
  same "$native_dir.rc" "$wine_dir.rc"
  local status=$?  # before the name's command substitution sets $? to its own
  check "$name: exit code $(cat "$wine_dir.rc"), as natively" $status "native $(cat "$native_dir.rc")"
  same "$native_dir.expected-lua" "$wine_dir/output.lua"
  check "$name: output.lua is the native output with CR LF line ends" $? \
    "$(diff <(cat -A "$native_dir.expected-lua") <(cat -A "$wine_dir/output.lua") | head -n 10)"
  same "$native_dir.expected-out" "$wine_dir.out" && same "$native_dir.expected-err" "$wine_dir.err"
  check "$name: standard output and error as natively, with CR LF" $? \
    "stdout: $(cat -A "$wine_dir.out")" "stderr: $(cat -A "$wine_dir.err")"
  [ "$(listing "$wine_dir")" = "$(printf 'output.lua\ntest.py')" ]
  check "$name: no file besides test.py and output.lua" $? "$(listing "$wine_dir")"
  LAST_WINE_DIR=$wine_dir
}

# --- Conversions: every example, with its line ends as stored and flipped.
for script in "$examples"/*/test.py; do
  example=$(basename "$(dirname "$script")")
  same_as_native "example $example" "$script"
  stored=$LAST_WINE_DIR/output.lua
  flipped=$scratch/$example-flipped.py
  if grep -q $'\r$' "$script"; then
    perl -pe 's/\r\n/\n/g' "$script" >"$flipped"
    ends="LF"
  else
    crlf "$script" >"$flipped"
    ends="CR LF"
  fi
  same_as_native "example $example with $ends line ends" "$flipped"
  same "$stored" "$LAST_WINE_DIR/output.lua"
  check "example $example: $ends input gives the same output.lua" $?
done

earlier='-- an earlier output'

inline() {  # inline NAME BYTES (printf format)
  local file=$scratch/inline-$case_number.py
  printf "$2" >"$file"
  same_as_native "$1" "$file"
}
inline "statements before the first label (a warning)" '$ met = 0\n$ score = 0\nlabel a:\n    x\n'
inline "label R28 (nadas on standard output)" 'label R28:\nx\nif a:\n    y\nz\nlabel r28:\nw\n'
inline "empty script" ''
inline "no line feed at the end" 'label a:\n    x = 1'
inline "a CR that is not before a LF stays" 'label a:\r\n    x = "a\rb"\r\n'
inline "a Ctrl-Z byte is data, not the end" 'label a:\n    x = "\032"\n    y = 2\n'
inline "a byte-order mark" '\357\273\277label a:\nx\n'
inline "jump_out without a target" 'label a:\njump_out\n'

# Long enough to be converted in parts, with a variable that only the last
# part sets: the text begun with the first part's variables has its
# beginning written again, and what followed it moved within the file.
late=$scratch/late-variable.py
python3 - "$late" <<'PY'
import sys
with open(sys.argv[1], 'w') as f:
    f.write('label start:\n$ early = 1\n')
    for k in range(160000):
        f.write('label l%d:\n    "line %d of a long story"\n    $ early += 1\n' % (k, k))
    f.write('$ late = 2\n')
PY
same_as_native "a variable first set late in a script of several parts" "$late"

# The same in a flat text (long lines, few of them), which starts over from
# its first byte.
flat_late=$scratch/late-variable-flat.py
python3 - "$flat_late" <<'PY'
import sys
with open(sys.argv[1], 'w') as f:
    f.write('label start:\n$ early = 1\n')
    for k in range(25000):
        f.write('label l%d:\n    "%s"\n' % (k, 'a long line of the story ' * 16))
    f.write('$ late = 2\n')
PY
same_as_native "a variable first set late in a flat script of several parts" "$flat_late"

# UTF-16 as Windows editors save it, made from UTF-8 text by iconv.
utf16() {  # utf16 NAME MARK ENCODING TEXT (printf format)
  local file=$scratch/utf16-$case_number.py
  { printf "$2"; printf "$4" | iconv -f UTF-8 -t "$3"; } >"$file"
  same_as_native "$1" "$file"
}
story='label a:\r\njump_out\r\ne "caf\303\251 \360\237\230\200"\r\n'
utf16 "UTF-16 LE with a byte-order mark" '\377\376' UTF-16LE "$story"
utf16 "UTF-16 BE with a byte-order mark, Ctrl-Z at the end" '\376\377' UTF-16BE "$story\032"
utf16 "UTF-16 LE without a byte-order mark (a warning)" '' UTF-16LE "$story"

# Malformed UTF-16 is refused with the same words as natively.
new_dir
{ printf '\377\376'; printf 'label a:\n' | iconv -f UTF-8 -t UTF-16LE; printf '\075\330x\000'; } \
  >"$dir/test.py"
echo "$earlier" >"$dir/output.lua"
cp -r "$dir" "$dir-native"
run_in "$dir-native" native
run_in "$dir"
crlf "$dir-native.err" >"$dir.expected-err"
[ "$(cat "$dir.rc")" = 1 ] && same "$dir.expected-err" "$dir.err" &&
  [ "$(cat "$dir/output.lua")" = "$earlier" ] &&
  [ "$(listing "$dir")" = "$(printf 'output.lua\ntest.py')" ]
check "malformed UTF-16: refused as natively, output.lua untouched" $? \
  "exit $(cat "$dir.rc")" "stderr: $(cat -A "$dir.err")" "native: $(cat -A "$dir.expected-err")"

new_dir
printf 'label R28:\nx\ny\nz\n' >"$dir/test.py"
run_in "$dir"
[ "$(cat "$dir.out")" = nadasnadasnadas ]
check "R28 with three entries prints nadas three times, nothing else" $? "stdout: $(cat -A "$dir.out")"

# --- Failures. Reasons are the system's texts; wine words some of them
# differently from Windows, so only their shape is checked there.
error_line() {  # error_line DIR PATTERN: one CR LF terminated line matching PATTERN
  [ "$(wc -l <"$1.err")" -eq 1 ] && grep -Eq "^$2"$'\r$' "$1.err"
}

# The folder as Windows names it, "Z:\tmp\...\caseN", as a pattern.
windows_folder() { printf '[A-Z]:%s' "$(printf '%s' "$1" | sed 's|/|\\\\|g; s|\.|\\.|g')"; }
missing='brindle: error: cannot read test\.py: there is no test\.py in '
for had_output in no yes; do
  new_dir
  [ $had_output = yes ] && echo "$earlier" >"$dir/output.lua"
  run_in "$dir"
  [ "$(cat "$dir.rc")" = 1 ] && [ ! -s "$dir.out" ] &&
    error_line "$dir" "$missing$(windows_folder "$dir")"
  check "missing test.py (earlier output: $had_output): exit 1, the folder named" $? \
    "exit $(cat "$dir.rc")" "stderr: $(cat -A "$dir.err")"
  if [ $had_output = yes ]; then
    [ "$(cat "$dir/output.lua")" = "$earlier" ]
  else
    [ ! -e "$dir/output.lua" ]
  fi
  check "missing test.py (earlier output: $had_output): output.lua untouched" $?
done

new_dir
printf 'label a:\n' >"$dir/test.py.txt"
run_in "$dir"
[ "$(cat "$dir.rc")" = 1 ] && error_line "$dir" "$missing$(windows_folder "$dir"), but there is \
test\\.py\\.txt \\(its ending \\.txt may be hidden\\); rename it to test\\.py"
check "missing test.py beside test.py.txt: the near miss named" $? "stderr: $(cat -A "$dir.err")"

new_dir
printf 'label a:\nx\n' >"$dir/test.py"
(cd "$dir" && wine "$exe" "$dir/test.py" >"$dir.out" 2>"$dir.err")
[ $? = 0 ] && [ -f "$dir/output.lua" ] && error_line "$dir" "brindle: warning: Brindle takes no \
arguments and ignores them; it reads test\\.py in $(windows_folder "$dir")"
check "arguments: ignored with one warning" $? "stderr: $(cat -A "$dir.err")"

new_dir
mkdir "$dir/test.py"
run_in "$dir"
[ "$(cat "$dir.rc")" = 1 ] &&
  error_line "$dir" 'brindle: error: cannot read test\.py: it is a folder, not a file'
check "test.py is a directory: refused" $? "stderr: $(cat -A "$dir.err")"

refused() {  # refused NAME PATTERN: output.lua prepared in $dir, must be refused
  local before
  before=$(listing "$dir")
  run_in "$dir"
  [ "$(cat "$dir.rc")" = 1 ] && error_line "$dir" "$2" && [ "$(listing "$dir")" = "$before" ]
  check "$1: refused, nothing written" $? "exit $(cat "$dir.rc")" \
    "stderr: $(cat -A "$dir.err")" "files: $(listing "$dir" | tr '\n' ' ')"
}
new_dir
printf 'label a:\nx\n' >"$dir/test.py"
mkdir "$dir/output.lua"
refused "output.lua is a directory" 'brindle: error: cannot write output\.lua: it is a folder, not a file'
new_dir
printf 'label a:\nx\n' >"$dir/test.py"
mkdir "$dir/sub"
ln -s sub "$dir/output.lua"
refused "output.lua links to a directory" \
  'brindle: error: cannot write output\.lua: it is a folder, not a file'
new_dir
printf 'label a:\nx\n' >"$dir/test.py"
ln -s /dev/null "$dir/output.lua"
refused "output.lua is a device" 'brindle: error: cannot write output\.lua: not a regular file'

# Wine shows a file without write permission as read-only.
new_dir
printf 'label a:\nx\n' >"$dir/test.py"
echo "$earlier" >"$dir/output.lua"
chmod 444 "$dir/output.lua"
refused "output.lua is read-only" \
  'brindle: error: cannot write output\.lua: it is read-only; make it writable and run again'

if [ -n "$holder" ]; then
  new_dir
  printf 'label a:\nx\n' >"$dir/test.py"
  echo "$earlier" >"$dir/output.lua"
  (cd "$dir" && wine "$holder" output.lua "../$(basename "$dir").held") &
  holder_pid=$!
  for _ in $(seq 300); do
    [ -e "$dir.held" ] && break
    sleep 0.1
  done
  refused "output.lua held open by another program" \
    'brindle: error: cannot write output\.lua: another program is using it; close that program and run again'
  rm -f "$dir.held"
  wait "$holder_pid"
else
  echo "skipped - output.lua held open by another program: no hold_file.exe given"
fi

new_dir
printf 'label a:\nx\n' >"$dir/test.py"
echo "$earlier" >"$dir/output.lua"
run_in "$dir"
[ "$(cat "$dir.rc")" = 0 ] && grep -q 'LABELS\["a"\]' "$dir/output.lua" &&
  [ "$(listing "$dir")" = "$(printf 'output.lua\ntest.py')" ]
check "an earlier output.lua is replaced, no temporary file left" $? "files: $(listing "$dir")"
# The new file is written hidden; what is moved into place must not be.
attributes=$(cd "$dir" && wine cmd /c attrib output.lua | sed 's/[A-Z]:\\.*//')
[[ $attributes != *H* ]]
check "output.lua is not hidden" $? "attrib: $attributes"

new_dir
printf 'label a:\nx\n' >"$dir/test.py"
echo "$earlier" >"$dir/real.lua"
ln -s real.lua "$dir/output.lua"
run_in "$dir"
[ "$(cat "$dir.rc")" = 0 ] && [ -L "$dir/output.lua" ] && grep -q 'LABELS\["a"\]' "$dir/real.lua" &&
  [ "$(listing "$dir")" = "$(printf 'output.lua\nreal.lua\ntest.py')" ]
check "output.lua links to a file: that file is replaced, the link stays" $? \
  "files: $(ls -l "$dir" | tr '\n' ' ')"

# A file-size limit stands in for a full disk: the write fails part way.
new_dir
{
  printf 'label a:\n'
  head -c 100000 /dev/zero | tr '\0' x
  printf '\n'
} >"$dir/test.py"
echo "$earlier" >"$dir/output.lua"
(
  trap '' XFSZ
  ulimit -f 16
  run_in "$dir"
)
[ "$(cat "$dir.rc")" = 1 ] && error_line "$dir" 'brindle: error: cannot write output\.lua: [^ ].*' &&
  [ "$(cat "$dir/output.lua")" = "$earlier" ] &&
  [ "$(listing "$dir")" = "$(printf 'output.lua\ntest.py')" ]
check "a failed write keeps the earlier output.lua and removes its temporary file" $? \
  "exit $(cat "$dir.rc")" "stderr: $(cat -A "$dir.err")" "files: $(listing "$dir" | tr '\n' ' ')"

# --- System messages in other languages reach a redirected standard error
# as UTF-8, whatever the code pages. A file-size limit makes the write fail;
# wine reports that as a general failure. Wine takes its language from the Unix
# locale, compiled here into the scratch folder so that none need be set up.
mkdir -p "$scratch/locales"
while read -r locale reason; do
  if ! localedef -i "$locale" -f UTF-8 "$scratch/locales/$locale.UTF-8" >/dev/null 2>&1; then
    echo "skipped - messages in $locale: localedef cannot compile it (package locales)"
    continue
  fi
  new_dir
  head -c 100000 /dev/zero | tr '\0' x | sed '1s/^/label a:\n/' >"$dir/test.py"
  (
    trap '' XFSZ
    ulimit -f 16
    export LOCPATH=$scratch/locales LC_ALL=$locale.UTF-8
    run_in "$dir"
  ) 2>/dev/null  # bash's own complaint that it cannot find the locale
  error_line "$dir" "brindle: error: cannot write output\.lua: $reason"
  check "a failed write in $locale: the system's reason in UTF-8" $? "stderr: $(cat -A "$dir.err")"
done <<'LOCALES'
fr_FR Erreur générale\.
ru_RU Общая ошибка\.
LOCALES

# --- The pause of a double-clicked program. Under a pseudo-terminal wine
# gives brindle.exe a console with no other process on it, as Explorer does;
# through cmd it shares its console, as when typed at a Command Prompt.
#
# Runs COMMAND in DIR on a terminal and types Enter once "Press Enter" shows
# or the command has ended. Leaves the terminal's text in DIR.tty, the exit
# code in DIR.rc, and in DIR.waited whether the program still ran half a
# second after the prompt.
run_on_terminal() {  # run_on_terminal DIR COMMAND
  local dir=$1 pid i waited=no
  mkfifo "$dir.keys"
  (cd "$dir" && LC_ALL=C.UTF-8 timeout 60 script -qec "$2" /dev/null <"$dir.keys" >"$dir.raw"
    echo $? >"$dir.rc") &
  pid=$!
  exec 3>"$dir.keys"
  for ((i = 0; i < 300; i++)); do
    terminal_text "$dir.raw" | grep -q PressEnter && break
    [ -e "$dir.rc" ] && break
    sleep 0.1
  done
  sleep 0.5
  [ ! -e "$dir.rc" ] && waited=yes
  (printf '\r' >&3) 2>/dev/null
  exec 3>&-
  wait "$pid"
  echo $waited >"$dir.waited"
  terminal_text "$dir.raw" >"$dir.tty"
}
# A terminal's text without escape sequences, carriage returns and spaces:
# wine's console draws a space now and then as a cursor movement.
terminal_text() { perl -pe 's/\e\[[0-9;?]*[A-Za-z]//g; s/[ \r]//g' "$1" 2>/dev/null; }

exe_windows="Z:${exe//\//\\}"
pause_table=$(cat <<TABLE
double-clicked: says where output.lua went, waits for Enter|yes|wine '$exe'|yes|0|Brindle wrote output.lua in FOLDER.
double-clicked, test.py missing: says so, waits for Enter|no|wine '$exe'|yes|1|Brindle did not write output.lua: the error is above.
started from cmd: does not wait|yes|wine cmd /c '$exe_windows'|no|0|
input redirected: does not wait|yes|wine '$exe' </dev/null|no|0|
output redirected: does not wait|yes|wine '$exe' >'$scratch/redirected'|no|0|
TABLE
)
if [ -n "$check_exe" ]; then
  check_windows="Z:${check_exe//\//\\}"
  pause_table+=$'\n'"brindle-check double-clicked: says what it found, waits for Enter|yes|wine '$check_exe'|yes|1|brindle-check found what is above."
  pause_table+=$'\n'"brindle-check started from cmd: does not wait|yes|wine cmd /c '$check_windows'|no|1|"
fi
while IFS='|' read -r name test_py command waits code closing; do
  new_dir
  dir=$dir/é-Ж  # a name the console shows right only when given UTF-16
  mkdir "$dir"
  [ "$test_py" = yes ] && printf 'label a:\nx\n' >"$dir/test.py"
  run_on_terminal "$dir" "$command"
  closing=${closing//FOLDER/Z:${dir//\//\\}}
  [ "$(cat "$dir.waited")" = "$waits" ] && [ "$(cat "$dir.rc")" = "$code" ] &&
    if [ "$waits" = yes ]; then
      grep -qxF "${closing// /}" "$dir.tty" && grep -qx 'PressEntertoclosethiswindow\.' "$dir.tty"
    else
      ! grep -qs PressEnter "$dir.tty" && ! grep -qs 'Press Enter' "$scratch/redirected"
    fi
  check "$name" $? "waited: $(cat "$dir.waited"), exit $(cat "$dir.rc")" "terminal: $(cat -A "$dir.tty")"
done <<<"$pause_table"

# --- brindle-check: the report of a story with faults and of one without.
if [ -n "$check_exe" ]; then
  for story in bad good; do
    new_dir
    if [ $story = bad ]; then
      printf 'label start:\r\n    if a != 1:\r\n        x = 1\r\n    $ renpy.pause(1.0)\r\n    e "50\\%%"\r\n    jump_out nowhere\r\nlabel start:\r\n' >"$dir/test.py"
      expected_rc=1
    else
      printf 'label start:\n    $ coins += 1\n    jump_out start\n' >"$dir/test.py"
      expected_rc=0
    fi
    (cd "$dir" && "$native_check" 2>"$dir.native-err"; echo $? >"$dir.native-rc")
    (cd "$dir" && wine "$check_exe" 2>"$dir.err"; echo $? >"$dir.rc")
    crlf "$dir.native-err" >"$dir.expected-err"
    [ "$(cat "$dir.rc")" = $expected_rc ] && [ "$(cat "$dir.native-rc")" = $expected_rc ] &&
      same "$dir.expected-err" "$dir.err" && [ "$(listing "$dir")" = test.py ]
    check "brindle-check on the $story story: exit $expected_rc, the native report with CR LF, nothing written" $? \
      "exit $(cat "$dir.rc") (native $(cat "$dir.native-rc"))" "stderr: $(cat -A "$dir.err")" \
      "native: $(cat -A "$dir.native-err")"
  done
fi

# --- brindle-check --play: the tour plays as checked in, with CR LF.
if [ -n "$check_exe" ]; then
  new_dir
  cp "$examples/tour/test.py" "$dir/test.py"
  (cd "$dir" && wine "$check_exe" --play >"$dir.out" 2>"$dir.err"; echo $? >"$dir.rc")
  crlf "$examples/tour/expected-play.txt" >"$dir.expected-out"
  [ "$(cat "$dir.rc")" = 0 ] && same "$dir.expected-out" "$dir.out" && [ ! -s "$dir.err" ] &&
    [ "$(listing "$dir")" = test.py ]
  check "brindle-check --play on the tour: exit 0, the expected play with CR LF, nothing written" $? \
    "exit $(cat "$dir.rc")" "stdout: $(head -c 400 "$dir.out" | cat -A)" "stderr: $(cat -A "$dir.err")"
fi

# --- brindle-check --lsp: the protocol's bytes pass unchanged both ways (no
# CR LF added to what is written, none taken out of what is read), so the
# answers to an editor's requests are the native ones.
if [ -n "$check_exe" ]; then
  new_dir
  python3 - "$dir/in" <<'PY'
import json, sys
text = 'label start:\r\n    jump_out finish\r\nlabel finish:\r\n    e "done"\r\n'
uri = 'file:///story/test.py'
messages = [
    {'id': 1, 'method': 'initialize', 'params': {'capabilities': {}}},
    {'method': 'initialized', 'params': {}},
    {'method': 'textDocument/didOpen',
     'params': {'textDocument': {'uri': uri, 'languageId': 'brindle', 'version': 1, 'text': text}}},
    {'id': 2, 'method': 'textDocument/definition',
     'params': {'textDocument': {'uri': uri}, 'position': {'line': 1, 'character': 15}}},
    {'id': 3, 'method': 'workspace/executeCommand',
     'params': {'command': 'brindle.showLua', 'arguments': [uri]}},
    {'id': 4, 'method': 'shutdown'},
    {'method': 'exit'},
]
with open(sys.argv[1], 'wb') as out:
    for message in messages:
        body = json.dumps(dict(jsonrpc='2.0', **message)).encode()
        out.write(b'Content-Length: %d\r\n\r\n' % len(body) + body)
PY
  answers() {  # answers FILE: the responses, one per line, in the order of their ids
    python3 - "$1" <<'PY'
import json, sys
data, found = open(sys.argv[1], 'rb').read(), []
while data:
    head, _, rest = data.partition(b'\r\n\r\n')
    length = int(head.split(b':')[1])
    message = json.loads(rest[:length])
    data = rest[length:]
    if 'id' in message:
        found.append(message)
for message in sorted(found, key=lambda m: m['id']):
    print(json.dumps(message, sort_keys=True))
PY
  }
  "$native_check" --lsp <"$dir/in" >"$dir.native-out" 2>/dev/null
  native_rc=$?
  wine "$check_exe" --lsp <"$dir/in" >"$dir.out" 2>"$dir.err"
  rc=$?
  answers "$dir.native-out" >"$dir.native-answers" 2>&1
  answers "$dir.out" >"$dir.answers" 2>&1
  [ $rc = 0 ] && [ $native_rc = 0 ] && [ "$(wc -l <"$dir.answers")" = 4 ] &&
    same "$dir.native-answers" "$dir.answers"
  check "brindle-check --lsp: answers as natively, exit 0" $? \
    "exit $rc (native $native_rc)" "answers: $(cat "$dir.answers")" "stderr: $(cat -A "$dir.err")"
fi

echo "wine: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
