#!/usr/bin/env bash
# Builds Brindle and converts the bundled example story:
# examples/tour/test.py becomes examples/tour/output.lua.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target brindle
cd examples/tour
../../build/brindle
echo "wrote examples/tour/output.lua"
