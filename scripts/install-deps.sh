#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing Brindle needs,
# real Lua 5.4, Lua 5.1 and LuaJIT included, for the tests that load and
# play the output, Lua 5.1's library, whose parser brindle-check links,
# nlohmann/json, with which it writes JSON and speaks to editors, Neovim,
# the editor the tests of its language server drive, Graphviz, whose dot
# the tests lay brindle-check --map's graphs out with, and
# any packages named as arguments, skipping those already present. Needs root (or sudo) only when something
# is missing.
set -euo pipefail

packages=(g++ cmake ninja-build libgtest-dev lua5.4 lua5.1 luajit liblua5.1-0-dev nlohmann-json3-dev neovim graphviz "$@")
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
