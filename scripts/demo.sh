#!/usr/bin/env bash
# Builds Orvane and runs its main job on built-in material; works without a display.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh >/dev/null
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANE_BUILD_TESTS=OFF -DORVANE_BUILD_BENCH=OFF >/dev/null
ninja -C build/release orvane >/dev/null
./build/release/src/cli/orvane demo "$@"
