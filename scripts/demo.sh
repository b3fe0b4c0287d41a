#!/usr/bin/env bash
# Sets everything up and runs the main job on built-in defaults.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja
cmake --build build
./build/examples/halftone_walkthrough
