#!/usr/bin/env bash
# Builds Brindle and runs the whole test suite.
#   scripts/test.sh                 build/ (Release)
#   scripts/test.sh --sanitize      build-sanitize/ under AddressSanitizer and UBSan
#   scripts/test.sh --thread        build-thread/ under ThreadSanitizer: the tests
#                                   that convert in parts, read in parts, set room
#                                   aside for a file while it is written, check in
#                                   segments and serve an editor, on threads
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
options=(-DBRINDLE_WERROR=ON)
targets=()
tests=()
case "${1:-}" in
  --sanitize)
    build=build-sanitize
    options+=(-DBRINDLE_SANITIZE=address -DCMAKE_BUILD_TYPE=RelWithDebInfo)
    ;;
  --thread)
    build=build-thread
    options+=(-DBRINDLE_SANITIZE=thread -DCMAKE_BUILD_TYPE=RelWithDebInfo)
    targets=(--target brindle_unit_tests brindle_io_tests brindle_fuzz_replay_tests brindle_e2e_tests)
    tests=(-R '^(ConvertScriptTest|ReadWholeFileTest|OutputFileTest|FuzzReplayTest|CheckCliTest|LspProtocolTest)\.')
    ;;
esac

cmake -S . -B "$build" -G Ninja "${options[@]}" >/dev/null
cmake --build "$build" "${targets[@]}"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" "${tests[@]}"
