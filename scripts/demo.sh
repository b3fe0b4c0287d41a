#!/usr/bin/env bash
# Sets everything up, builds, and renders the built-in test picture with the
# built-in resource pack: ink planes and a preview of the printed page.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja
cmake --build build --target kestrl
./build/tools/kestrl demo out/demo
echo "demo outputs: $(pwd)/out/demo (open out/demo/colour/preview.png and out/demo/grey/preview.png)"
