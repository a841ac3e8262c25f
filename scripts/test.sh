#!/usr/bin/env bash
# Builds Brindle and runs the whole test suite.
#   scripts/test.sh                 build/ (Release)
#   scripts/test.sh --sanitize      build-sanitize/ under AddressSanitizer and UBSan
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
options=(-DBRINDLE_WERROR=ON)
if [ "${1:-}" = "--sanitize" ]; then
  build=build-sanitize
  options+=(-DBRINDLE_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo)
fi

cmake -S . -B "$build" -G Ninja "${options[@]}" >/dev/null
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
