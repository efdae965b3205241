#!/usr/bin/env bash
# Sets up and builds, then starts two simulated controllers and opens the
# program on them:
#   - a two-channel milling machine (model P7) over Modbus TCP on 127.0.0.1:502,
#     station 10;
#   - a one-channel lathe (model P5) over Modbus RTU on a socat pseudo-terminal
#     pair, station 1, 115200 baud, odd parity.
# The program runs in build/demo, whose Configure.xml lists both; your own
# Configure.xml elsewhere is never touched. Every simulator and socat stop when
# the program exits, also on Ctrl-C.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/setup.sh build

sim=$root/build/sim/vexa-sim
demo=$root/build/demo
pc_end=$demo/tty-pc   # the program's end of the serial line
cnc_end=$demo/tty-cnc # the lathe's end
mkdir -p "$demo"

pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Modbus TCP always uses port 502, a privileged port.
if [ "$(id -u)" -ne 0 ] && ! getcap "$sim" 2>/dev/null | grep -q cap_net_bind_service; then
    echo "Allowing the simulator to listen on port 502 (sudo setcap)"
    sudo setcap 'cap_net_bind_service=+ep' "$sim" || true
fi

"$sim" --address 127.0.0.1 --port 502 --station 10 --channels 2 --axes 3 --animate \
    --folder "$root/sim/samples/mill" &
tcp_pid=$!
pids+=("$tcp_pid")

rm -f "$pc_end" "$cnc_end"
socat pty,raw,echo=0,link="$pc_end" pty,raw,echo=0,link="$cnc_end" &
pids+=("$!")
for _ in $(seq 50); do
    [ -e "$pc_end" ] && [ -e "$cnc_end" ] && break
    sleep 0.1
done
if [ -e "$cnc_end" ]; then
    "$sim" --no-tcp --serial "$cnc_end" --baud 115200 --parity odd --station 1 --axis-codes 1,3 --animate \
        --folder "$root/sim/samples/lathe" &
    pids+=("$!")
else
    echo "socat did not make the pseudo-terminal pair: the RTU lathe is not started." >&2
fi

sleep 0.5
if ! kill -0 "$tcp_pid" 2>/dev/null; then
    echo "Port 502 on 127.0.0.1 cannot be bound (in use, or no permission): the TCP milling machine is" \
        "not started. The RTU lathe still is." >&2
fi

# The demo's own configuration; rewritten when it does not name this serial line.
if ! grep -qF "$pc_end" "$demo/Configure.xml" 2>/dev/null; then
    cat >"$demo/Configure.xml" <<XML
<Configure>
    <Device Type="1" Name="Mill (TCP)" Model="0" IP="127.0.0.1" Address="10"/>
    <Device Type="0" Name="Lathe (RTU)" Model="1" IP="192.168.3.20" Address="1"/>
    <Modbus Port="$pc_end" Parity="3" BaudRate="115200" DataBits="8" StopBits="1" NumberOfRetries="3" Timeout="300"/>
    <Set Language="0"/>
</Configure>
XML
fi

case "${LANG:-}" in *UTF-8* | *utf8*) ;; *) export LANG=C.UTF-8 ;; esac
cd "$demo"
"$root/build/vexa-assistant"
