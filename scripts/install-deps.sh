#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing Brindle needs,
# real Lua 5.4, Lua 5.1 and LuaJIT included, for the tests that load and
# play the output, Lua 5.1's library, whose parser brindle-check links,
# nlohmann/json, with which it writes JSON and speaks to editors, Neovim,
# the editor the tests of its language server drive, Graphviz, whose dot
# the tests lay brindle-check --map's graphs out with, Node.js and npm (the
# machine's own where it has them) with the VS Code extension's npm
# packages as its lock file names them, Chromium and code-server for the
# test of the extension in a real VS Code (tests/vscode/install.sh), and
# any packages named as arguments, skipping those already present. Needs root (or sudo) only when
# a Debian package is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(g++ cmake ninja-build libgtest-dev lua5.4 lua5.1 luajit liblua5.1-0-dev nlohmann-json3-dev neovim
  graphviz chromium ripgrep libkrb5-dev make python3 "$@")
command -v node >/dev/null && command -v npm >/dev/null || packages+=(nodejs npm)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The extension's packages (its client library, and vsce and the test tools
# its tests and package need), exactly as locked; installed again only when
# the lock file changed since. Their install scripts are not run: none of
# them needs one, and some fetch binaries from the internet.
extension=editors/vscode
installed="$extension/node_modules/.installed-package-lock.json"
if ! cmp -s "$extension/package-lock.json" "$installed"; then
  echo "Installing the VS Code extension's npm packages (npm ci)"
  (cd "$extension" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error)
  cp "$extension/package-lock.json" "$installed"
fi

# code-server and playwright-core in tests/vscode/node_modules, as locked
# there; the script does nothing when they are installed already.
tests/vscode/install.sh
