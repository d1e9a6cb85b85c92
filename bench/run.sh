#!/usr/bin/env bash
# Runs every benchmark executable found in a build directory and prints their figures.
#   bench/run.sh [build-dir]        (default: build)
# Builds nothing: build the bench_* and chronode-decode targets first.
set -euo pipefail
build="${1:-build}"
if [ ! -d "$build" ]; then
    echo "bench/run.sh: no build directory '$build'" >&2
    exit 1
fi
found=0
for exe in "$build"/bench_*; do
    [ -f "$exe" ] && [ -x "$exe" ] || continue
    found=1
    echo "== $(basename "$exe")"
    "$exe"
done
# chronode-decode on the shared captures, against gpsdecode when installed.
if [ -x "$build/chronode-decode" ]; then
    found=1
    echo "== chronode-decode"
    bash "$(dirname "$0")/decode_captures.sh" "$build"
fi
if [ "$found" = 0 ]; then
    echo "bench/run.sh: no bench_* executables or chronode-decode in '$build'" >&2
    exit 1
fi
