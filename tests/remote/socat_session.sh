#!/usr/bin/env bash
# A telnet session from another process: socat talks to a running chronode over loopback,
# with telnet negotiation bytes, CR LF and bare CR line ends, and the replies are compared
# byte for byte.   socat_session.sh CHRONODE
set -euo pipefail
chronode="$1"
command -v socat >/dev/null || { echo "socat not installed"; exit 77; }
work=$(mktemp -d)
pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

version=$("$chronode" --version | awk '{print $NF}')
"$chronode" --quit-after 120 --remote-port 0 2>"$work/stderr" >/dev/null &
pid=$!
port=""
for _ in $(seq 600); do
    port=$(sed -n 's/^chronode: remote control listening on 127\.0\.0\.1 port \([0-9]*\)$/\1/p' "$work/stderr")
    [ -n "$port" ] && break
    kill -0 "$pid" 2>/dev/null || { cat "$work/stderr"; echo "chronode ended early"; exit 1; }
    sleep 0.1
done
[ -n "$port" ] || { echo "chronode did not start listening"; exit 1; }

printf '\377\375\001\377\373\030$PKTWL,VERSION\r\n$pktwl,log,status\r\0exit\r\n$PKTWL,REFLOC,1,2,3\r\nEXIT\r\n' \
    | timeout 30 socat -t 10 - "TCP:127.0.0.1:$port" >"$work/reply"
printf 'Hello client, this is Chronode.\r\n$PKTWL,VERSION,%s\r\n$pktwl,log,status,CLOSED\r\nexit ???\r\n$PKTWL,REFLOC,ERROR\r\nDISCONNECTED\r\n' \
    "$version" >"$work/expected"
if ! cmp -s "$work/reply" "$work/expected"; then
    echo "replies differ:"; od -c "$work/reply" | head -20; exit 1
fi
# The server listens again after EXIT: a second session is greeted.
printf 'EXIT\r\n' | timeout 30 socat -t 10 - "TCP:127.0.0.1:$port" >"$work/reply2"
printf 'Hello client, this is Chronode.\r\nDISCONNECTED\r\n' | cmp -s - "$work/reply2" || { od -c "$work/reply2"; exit 1; }
echo "socat session ok on port $port"
