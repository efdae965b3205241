#!/usr/bin/env bash
# Sets up and builds the program and the simulator, starts two simulated
# controllers and opens the program on them (scripts/demo-controllers.sh says
# which):
#   - a two-channel milling machine (model P7) over Modbus TCP on 127.0.0.1:502;
#   - a one-channel lathe (model P5) over Modbus RTU on a socat pseudo-terminal
#     pair.
# The program runs in build/demo, whose Configure.xml lists both; your own
# Configure.xml elsewhere is never touched. Every simulator and socat stop when
# the program exits, also on Ctrl-C.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
BUILD_TARGETS="vexa-assistant vexa-sim" scripts/setup.sh build

sim=$root/build/sim/vexa-sim
demo=$root/build/demo
. scripts/demo-controllers.sh
trap stop_demo_controllers EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

start_demo_controllers "$demo"
# The demo's own configuration: kept from the last demo run (with the changes
# made in it) while it names this serial line, written afresh otherwise.
if ! grep -qF "Port=\"$demo_serial_port\"" "$demo/Configure.xml" 2>/dev/null; then
    write_demo_configure "$demo/Configure.xml" 0
fi

case "${LANG:-}" in *UTF-8* | *utf8*) ;; *) export LANG=C.UTF-8 ;; esac
cd "$demo"
"$root/build/vexa-assistant"
