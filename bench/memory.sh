#!/usr/bin/env bash
# Runs the program on its simulated receiver at an accelerated clock, offscreen, and watches its
# resident memory: a run of DAYS simulated days must stay flat (within 2 MB) after the first
# simulated hour (and after the dump's two-minute ring of snapshots has filled), and the
# --dump-display file small (under 1 MB).
#   bench/memory.sh [DAYS] [SPEED] [build-dir]     (defaults: 30 days at 5000x, build)
set -euo pipefail
days="${1:-30}"
speed="${2:-5000}"
build="${3:-build}"
exe="$build/chronode"
[ -x "$exe" ] || { echo "bench/memory.sh: build the chronode target first" >&2; exit 1; }
seconds=$(( days * 86400 / speed + 1 ))
hour=$(( (3600 + speed - 1) / speed ))
[ "$hour" -ge 130 ] || hour=130   # the display dump keeps 120 snapshots, one a second
home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/config" "$home/runtime"
chmod 700 "$home/runtime"
dump="$home/display.json"
HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/runtime" QT_QPA_PLATFORM=offscreen \
    QT_LOGGING_RULES='qt.multimedia*=false' \
    "$exe" --speed "$speed" --quit-after "$seconds" --dump-display "$dump" >"$home/out.log" 2>&1 &
pid=$!
started=$(date -u +%d-%b-%Y)
first=""; low=""; high=0; t=0; last=0
while kill -0 "$pid" 2>/dev/null; do
    rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status" 2>/dev/null || true)
    if [ -n "$rss" ]; then
        last=$rss
        if [ "$t" -ge "$hour" ]; then
            [ -z "$first" ] && first=$rss
            [ -z "$low" ] || [ "$rss" -lt "$low" ] && low=$rss
            [ "$rss" -gt "$high" ] && high=$rss
        fi
    fi
    sleep 1
    t=$((t + 1))
done
wait "$pid" || true
[ -n "$first" ] || { first=$last; low=$last; high=$last; }
size=$(stat -c %s "$dump" 2>/dev/null || echo 0)
echo "simulated days:          $days ($seconds s at ${speed}x)"
echo "RSS after ${hour} s:        $first kB"
echo "RSS at the end:           $last kB"
echo "RSS spread after that:   $((high - low)) kB (limit 2048)"
echo "display dump:             $size bytes (limit 1048576)"
# The simulated receiver starts at the computer's time: its date at the end shows the days run.
shown() { grep -m1 -o '"TimeInfoLabel": "[^"\\]*' | sed 's/.*": "//; s/<br>.*//'; }
echo "receiver date at the end: $(tac "$dump" | shown || true) (started $started)"
[ $((high - low)) -le 2048 ] && [ "$size" -lt 1048576 ]
