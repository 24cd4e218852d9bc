#!/usr/bin/env bash
# Builds the library and the quendral command, then runs the main job on the
# bundled sample: marks samples/sample-24.bmp and writes build/sample-24-marked.bmp.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh cmake make g++
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DQUENDRAL_BUILD_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)" --target quendral quendral_cli >/dev/null
out=build/sample-24-marked.bmp
./build/quendral mark samples/sample-24.bmp "$out"
echo "Marked picture written to $(pwd)/$out"
./build/quendral info "$out" | tail -n 1
