#!/usr/bin/env bash
# Installs, builds and runs the program's main job on the sample folder.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target corvane-cli
for f in samples/*; do
  printf '%s\t%s\n' "$(./build/corvane-cli signature "$f")" "$f"
done
