#!/usr/bin/env bash
# chronode-decode on the real captures, side by side with gpsd's gpsdecode when it is installed
# (Debian package gpsd-clients; never required):
#   bench/decode_captures.sh [build-dir] [captures-dir]
# Each capture's byte stream (its '#' header dropped) is repeated to at least 5 MB in a temp
# folder; both tools read the same file on stdin and write to /dev/null; best of three runs.
# Then the peak memory of chronode-decode on a 100 MB input.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-build}"
captures="${2:-${CHRONODE_CAPTURES:-$here/../../shared/captures}}"
tool="$build/chronode-decode"
if [ ! -x "$tool" ]; then
    echo "decode_captures: no $tool (build the chronode-decode target)" >&2
    exit 1
fi
if [ ! -d "$captures" ]; then
    echo "decode_captures: no captures folder '$captures': skipped"
    exit 0
fi
gpsdecode="$(command -v gpsdecode || true)"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

# repeat SRC DST BYTES: the stream after the header, repeated to at least BYTES.
repeat() {
    local body="$tmp/body"
    # Header lines are dropped bytewise (the stream after them is binary).
    local skip
    skip=$(LC_ALL=C grep -a -m1 -b -v '^#' "$1" | cut -d: -f1 || true)
    tail -c +"$(( ${skip:-0} + 1 ))" "$1" > "$body"
    # Doubled until large enough.
    local size copies=1
    size=$(stat -c %s "$body")
    cp "$body" "$2"
    while [ $(( copies * size )) -lt "$3" ]; do
        cat "$2" "$2" > "$2.next"
        mv "$2.next" "$2"
        copies=$(( copies * 2 ))
    done
}

# best_ns INPUT CMD...: the least time of three runs reading INPUT on stdin, in nanoseconds.
# CPU time (user + system) where /usr/bin/time is there, as the machine may be shared and
# wall time then measures the other loads; wall time otherwise.
best_ns() {
    local input="$1" best=0 start end t
    shift
    for _ in 1 2 3; do
        if [ -x /usr/bin/time ]; then
            /usr/bin/time -o "$tmp/time" -f '%U %S' "$@" < "$input" > /dev/null 2>&1
            t=$(awk '{ printf "%.0f", ($1 + $2) * 1e9 }' "$tmp/time")
        else
            start=$(date +%s%N)
            "$@" < "$input" > /dev/null 2>&1
            end=$(date +%s%N)
            t=$(( end - start ))
        fi
        [ "$t" -gt 0 ] || t=1
        if [ "$best" -eq 0 ] || [ "$t" -lt "$best" ]; then best=$t; fi
    done
    echo "$best"
}

mbps() { awk -v b="$1" -v ns="$2" 'BEGIN { printf "%.1f", b / 1e6 / (ns / 1e9) }'; }

if [ -x /usr/bin/time ]; then clock="CPU time"; else clock="wall time"; fi
echo "chronode-decode on the shared captures (repeated to >= 5 MB, best of 3 by $clock, output to /dev/null)"
[ -n "$gpsdecode" ] || echo "(gpsdecode not installed: no comparison)"
printf '%-28s %-13s %8s %12s %12s %8s\n' capture mode "MB" "MB/s" "messages/s" ""
# row file mode [--model NAME]
while read -r label file mode model; do
    [ -f "$captures/$file" ] || { echo "$label: $file missing, skipped"; continue; }
    input="$tmp/$label.bin"
    repeat "$captures/$file" "$input" 5000000
    bytes=$(stat -c %s "$input")
    args=(--mode "$mode")
    [ -n "${model:-}" ] && args+=(--model "$model")
    messages=$("$tool" "${args[@]}" "$input" | wc -l)
    ns=$(best_ns "$input" "$tool" "${args[@]}" -)
    rate=$(mbps "$bytes" "$ns")
    msgs=$(awk -v m="$messages" -v ns="$ns" 'BEGIN { printf "%.0f", m / (ns / 1e9) }')
    printf '%-28s %-13s %8.1f %12s %12s\n' "$label" "$mode" "$(awk -v b="$bytes" 'BEGIN { print b / 1e6 }')" "$rate" "$msgs"
    if [ -n "$gpsdecode" ]; then
        gns=$(best_ns "$input" "$gpsdecode")
        grate=$(mbps "$bytes" "$gns")
        ratio=$(awk -v a="$gns" -v b="$ns" 'BEGIN { printf "%.2f", a / b }')
        printf '%-28s %-13s %8s %12s %12s   ratio %sx gpsdecode\n' "" "gpsdecode" "" "$grate" "" "$ratio"
    fi
done <<'EOF'
oncore-binary oncore-binary.log motorola
oncore-nmea oncore.log motorola-nmea
garmin15x garmin15x.log generic-nmea
u-blox-m8t-time u-blox-m8t-time.log ubx
ublox-zed-f9t ublox-zed-f9t-ubx_nmea_l5.log ublox-nmea
ublox-lea-4t ublox-lea-4t.log ubx
EOF

# Peak memory on a 100 MB input: the tool streams, so it stays flat.
if [ -x /usr/bin/time ] && [ -f "$captures/oncore-binary.log" ]; then
    big="$tmp/big.bin"
    repeat "$captures/oncore-binary.log" "$big" 100000000
    truncate -s 100000000 "$big"
    kb=$(/usr/bin/time -f %M "$tool" --mode motorola "$big" 2>&1 >/dev/null | tail -1)
    awk -v kb="$kb" -v mb="$(stat -c %s "$big")" \
        'BEGIN { printf "peak memory of chronode-decode on %.0f MB (oncore-binary): %.1f MB (limit 50 MB)\n", mb / 1e6, kb / 1024 }'
fi
