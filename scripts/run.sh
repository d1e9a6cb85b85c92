#!/usr/bin/env bash
# Installs what is missing, builds Chronode and starts it. With no receiver port stored it runs
# on its built-in simulated receiver. Extra arguments go to chronode (see --help).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
build_dir="${CHRONODE_BUILD_DIR:-build}"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display found: running offscreen (set DISPLAY to see the window)."
    export QT_QPA_PLATFORM=offscreen
fi
exec "$build_dir/chronode" "$@"
