#!/usr/bin/env bash
# The VS Code extension in a real VS Code: code-server, the VS Code that
# runs in a browser, with the extension's .vsix installed (on 64-bit Linux
# the linux-x64 one, carrying the brindle-check under test, with no setting;
# elsewhere brindle.checkPath names it), opened in headless Chromium on a
# story and on the tour; real_vscode.js checks what the workbench and the
# extension's panels show and leaves a screenshot of each step in OUTPUT_DIR.
#   tests/vscode/real_vscode.sh BRINDLE_CHECK OUTPUT_DIR VERSION|VSIX
# Given a version, the .vsix is packaged with it (editors/vscode/package.sh)
# into a temporary folder. With BRINDLE_README_IMAGE=1 the screenshots of the
# editor with its Problems panel, the play panel and the map also replace
# editors/vscode/images/vscode-problems.png, vscode-play.png and
# vscode-map.png. Exits 77, which ctest counts as
# skipped, with the reason, where code-server, playwright-core or Chromium
# (scripts/install-deps.sh installs all three) or the extension's packages
# are missing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
if [ $# -ne 3 ]; then
  echo "usage: $0 BRINDLE_CHECK OUTPUT_DIR VERSION|VSIX" >&2
  exit 2
fi
check=$(realpath "$1")
output=$2
skip() {
  echo "SKIPPED: $*"
  exit 77
}

modules=$here/node_modules
code_server=$modules/.bin/code-server
command -v node >/dev/null || skip "Node.js is not installed (scripts/install-deps.sh installs it)"
[ -f "$modules/.brindle-installed" ] && [ -x "$code_server" ] ||
  skip "code-server is not installed in $modules (scripts/install-deps.sh installs it)"
[ -f "$modules/playwright-core/package.json" ] ||
  skip "playwright-core is not installed in $modules (scripts/install-deps.sh installs it)"
[ -x /usr/bin/chromium ] || skip "Chromium is not installed (scripts/install-deps.sh installs Debian's)"

work=$(mktemp -d)
server=
cleanup() {
  # code-server runs in a process group of its own, with the extension
  # host and brindle-check under it.
  [ -n "$server" ] && kill -- "-$server" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# On 64-bit Linux a version packages the extension for linux-x64, carrying
# the brindle-check under test, and no setting names a program: what the
# test sees is what an author who installs that .vsix gets. Elsewhere, and
# for a .vsix given, brindle.checkPath names the program.
carried=
if [[ $3 == *.vsix ]]; then
  vsix=$(realpath "$3")
else
  [ -x "$root/editors/vscode/node_modules/.bin/vsce" ] ||
    skip "the extension's packages are not installed (scripts/install-deps.sh installs them)"
  target=()
  if [ "$(uname -s)-$(uname -m)" = Linux-x86_64 ]; then
    target=(linux-x64 "$check" "$root/LICENSE")
    carried=1
  fi
  vsix=$("$root/editors/vscode/package.sh" "$work/dist" "$3" "${target[@]}" 2>"$work/package.log") ||
    { cat "$work/package.log"; exit 1; }
fi

# code-server keeps its configuration, logs and state under HOME and the
# XDG folders: all of them in the temporary folder.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export XDG_CACHE_HOME=$work/home/.cache
user=$work/user
extensions=$work/extensions
mkdir -p "$HOME" "$user/User" "$work/story" "$output"
rm -f "$output"/*.png
"$code_server" --install-extension "$vsix" --extensions-dir "$extensions" --user-data-dir "$user" \
  >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
# The editor indents nothing itself, so that the lines the test types are
# the story's as typed.
check_path=
[ -z "$carried" ] && check_path="\"brindle.checkPath\": $(node -p 'JSON.stringify(process.argv[1])' "$check"),"
cat >"$user/User/settings.json" <<SETTINGS
{
  $check_path
  "security.workspace.trust.enabled": false,
  "telemetry.telemetryLevel": "off",
  "update.mode": "none",
  "extensions.autoUpdate": false,
  "extensions.autoCheckUpdates": false,
  "workbench.enableExperiments": false,
  "workbench.startupEditor": "none",
  "workbench.tips.enabled": false,
  "files.autoSave": "off",
  "editor.autoIndent": "none"
}
SETTINGS

# Port 0: the system picks a free one, which code-server prints. The log
# exists before the server starts: the background job opens it in its own
# time, and a read of a log not yet there would end this script.
: >"$work/code-server.log"
setsid "$code_server" --bind-addr 127.0.0.1:0 --auth none --config /dev/null \
  --disable-telemetry --disable-update-check --disable-workspace-trust --disable-getting-started-override \
  --extensions-dir "$extensions" --user-data-dir "$user" >"$work/code-server.log" 2>&1 &
server=$!
url=
for _ in $(seq 600); do
  url=$(sed -n 's|.*HTTP server listening on \(http://127\.0\.0\.1:[0-9]*/\).*|\1|p' "$work/code-server.log")
  [ -n "$url" ] && break
  kill -0 "$server" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$url" ]; then
  echo "FAILED: code-server did not start:"
  cat "$work/code-server.log"
  exit 1
fi

images=()
[ "${BRINDLE_README_IMAGE:-}" = 1 ] && images=("$root/editors/vscode/images")
if ! node "$here/real_vscode.js" "$url" "$check" "$work/story" "$(realpath "$output")" "${images[@]}"; then
  echo "code-server's log:"
  tail -n 40 "$work/code-server.log"
  exit 1
fi
echo "screenshots in $(realpath "$output")"
