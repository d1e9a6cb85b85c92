#!/usr/bin/env bash
# Builds the libFuzzer targets (one per parser entry point) with clang in a build folder of
# their own, runs each for a bounded time on a corpus seeded from the regression captures and
# prints its inputs per second, the inputs run and the corpus size. Any crash, sanitizer report
# or hang fails the script and leaves the input in the corpus folder.
#   bench/fuzz.sh [SECONDS_PER_TARGET]      (default 30; FUZZ_BUILD=dir, default build-fuzz)
set -euo pipefail
secs="${1:-30}"
src="$(cd "$(dirname "$0")/.." && pwd)"
build="${FUZZ_BUILD:-$src/build-fuzz}"
if ! command -v clang++ >/dev/null 2>&1; then
    echo "bench/fuzz.sh: clang++ is not installed (Debian package clang)" >&2
    exit 1
fi
targets=(framer_loran framer_motorola framer_nmea framer_ubx
         decode_loran decode_motorola decode_nmea decode_ublox counter_line remote_line)
CC=clang CXX=clang++ cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCHRONODE_FUZZ=ON -DCHRONODE_BUILD_TESTS=OFF >/dev/null
mkdir -p "$build/corpus"
if ! nice cmake --build "$build" --target "${targets[@]/#/fuzz_}" >"$build/corpus/build.log" 2>&1; then
    tail -n 30 "$build/corpus/build.log" >&2
    exit 1
fi

seed() {   # target -> seed files from the regression captures
    case "$1" in
        *motorola) ls "$src"/tests/regress/motorola-*.log ;;
        *nmea) ls "$src"/tests/regress/nmea-*.log "$src"/tests/regress/ublox-nmea-*.log ;;
        *ubx|*ublox) ls "$src"/tests/regress/ubx-*.log "$src"/tests/regress/ublox-nmea-*.log ;;
        *loran) ls "$src"/tests/regress/nmea-oncore.log ;;
    esac
}

status=0
printf '%-16s %10s %10s %8s %10s %s\n' target inputs/s inputs corpus bytes result
for t in "${targets[@]}"; do
    corpus="$build/corpus/$t"
    mkdir -p "$corpus"
    if [ -z "$(ls -A "$corpus")" ]; then
        for f in $(seed "$t"); do
            # Seeds of at most 4 kB: the captures cut into pieces.
            split -b 4000 -d "$f" "$corpus/$(basename "$f" .log)-"
        done
        if [ "$t" = counter_line ]; then
            printf '1 0.000001234\n2 -1.5E-8\n' > "$corpus/readings"
            printf '3 +2.0000000E-07 s\n1 123456789012345678901234567890\n' > "$corpus/odd"
        fi
        if [ "$t" = remote_line ]; then
            printf 'VERSION\rREFLOC\rREFLOC 52.1,-1.5,20\rLOG STATUS\rLOG NEW day REPLACE RINEX\rLOG CLOSE\r' > "$corpus/commands"
            printf 'TICLOG NEW lab COMMA MJD ARON SEOFF LOG1 CAVG 60\rTICDATA TIME 5\rTICDATA AVG -1\rTICLOG CLOSE\rEXIT\r' > "$corpus/counters"
            printf '\377\375\001\377\372\030\001\377\360VERSION\r\000LOG OPEN ../x\r' > "$corpus/telnet"
        fi
    fi
    log="$build/corpus/$t.log"
    result=ok
    (cd "$build/corpus" && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 "$build/fuzz_$t" -max_total_time="$secs" \
        -max_len=4096 -timeout=10 -print_final_stats=1 "$corpus") >"$log" 2>&1 || { result=FAILED; status=1; }
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    printf '%-16s %10s %10s %8s %10s %s\n' "$t" "${rate:-?}" "${execs:-?}" "$(ls "$corpus" | wc -l)" \
        "$(du -sb "$corpus" | cut -f1)" "$result"
    [ "$result" = ok ] || grep -m1 -A12 'ERROR\|runtime error\|deadly signal' "$log" >&2 || true
done
exit $status
