#!/usr/bin/env bash
# Installs what is missing, builds Chronode and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
build_dir="${CHRONODE_BUILD_DIR:-build}"
cd "$build_dir"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "${CHRONODE_JOBS:-$(nproc)}" "$@"
