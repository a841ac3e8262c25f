#!/usr/bin/env bash
# A real editor on brindle-check --lsp: Neovim, headless (neovim_test.lua),
# starts it as editors/neovim/lsp/brindle.lua says, gets the diagnostics of
# a story, goes to a label's definition from a jump, renames the label, and
# gets the story's map and play (brindle.map and brindle.play). Skips (exit
# code 77) where Neovim is not installed.
#   tests/lsp/neovim_test.sh BRINDLE_CHECK
set -euo pipefail
check=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
if ! command -v nvim >/dev/null; then
  echo "SKIPPED: Neovim is not installed (scripts/install-deps.sh installs it)"
  exit 77
fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cat >"$dir/test.py" <<'STORY'
label start:
    if coins != 2:
        jump_out market
    e "Welcome, café owner."
label market:
    e "The market is closed."
    jump_out start
STORY
(cd "$dir" && BRINDLE_CHECK=$check BRINDLE_NVIM_CONFIG=$here/../../editors/neovim/lsp/brindle.lua timeout 60 nvim --headless -u NONE -i NONE -n \
  -c "luafile $here/neovim_test.lua" >/dev/null 2>&1) || true
expected="diagnostics true
diagnostic 2:13 'then' expected near '!'; to fix it, write ~= instead of !=
definition 5:6
line 1 label start:
line 2     if coins != 2:
line 3         jump_out harbour
line 4     e \"Welcome, café owner.\"
line 5 label harbour:
line 6     e \"The market is closed.\"
line 7     jump_out start
node start 1 2
node harbour 5 2
edge start harbour 3
edge harbour start 7
play notLoaded 2"
if [ "$(cat "$dir/result.txt" 2>/dev/null)" != "$expected" ]; then
  echo "FAILED: Neovim saw"
  cat "$dir/result.txt" 2>/dev/null || echo "(nothing: Neovim wrote no result)"
  echo "where it should have seen"
  echo "$expected"
  exit 1
fi
echo "ok: Neovim received the diagnostics, went to the definition, renamed the label, and got the map and the play"
