#!/usr/bin/env bash
# Installs, builds (warnings as errors) and runs every test, then repeats the
# core tests and a short fuzz run under AddressSanitizer and UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)

cmake -S . -B build -G Ninja -DCORVANE_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j "$jobs"

CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCORVANE_WERROR=ON -DCORVANE_SANITIZE=ON \
  -DCORVANE_FUZZ=ON -DCORVANE_BENCH=OFF -DCORVANE_GUI=OFF -DCMAKE_BUILD_TYPE=Debug
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs"
