#!/usr/bin/env bash
# Installs, builds and runs the program's main job on a copy of samples/:
# compute the signatures, identify all matches, list them.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target corvane-cli
work=$(mktemp -d)
cp -r samples "$work/pictures"
mkdir "$work/data"
cli() { ./build/corvane-cli --data "$work/data" "$@"; }
cli compute --folder "$work/pictures" --subdirs
cli identify --margin 25
echo "Matches (MaxDiff, File1, File2):"
cli matches
echo "Program folder with tables, log and settings: $work/data"
