#!/usr/bin/env bash
# Configures and builds Chronode into ./build (or $CHRONODE_BUILD_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${CHRONODE_BUILD_DIR:-build}"
jobs="${CHRONODE_JOBS:-$(nproc)}"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE="${CHRONODE_BUILD_TYPE:-RelWithDebInfo}" "$@" >/dev/null
cmake --build "$build_dir" -j "$jobs"
