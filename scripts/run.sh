#!/usr/bin/env bash
# Sets up and builds, starts the controller simulator on 127.0.0.1:502 and
# opens the program in build/demo, whose Configure.xml lists that simulator.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build

sim=build/sim/vexa-sim
if [ "$(id -u)" -ne 0 ] && ! getcap "$sim" 2>/dev/null | grep -q cap_net_bind_service; then
    # The program always talks Modbus TCP on port 502, a privileged port.
    echo "Allowing the simulator to listen on port 502 (sudo setcap)"
    sudo setcap 'cap_net_bind_service=+ep' "$sim"
fi

mkdir -p build/demo
if [ ! -f build/demo/Configure.xml ]; then
    cat > build/demo/Configure.xml <<'XML'
<Configure>
    <Device Type="1" Name="Demo controller" Model="2" IP="127.0.0.1" Address="10"/>
    <Modbus Port="COM3" Parity="3" BaudRate="115200" DataBits="8" StopBits="1" NumberOfRetries="3" Timeout="300"/>
    <Set Language="0"/>
</Configure>
XML
fi

"$sim" --address 127.0.0.1 --port 502 --station 10 --animate --folder sim/demo &
sim_pid=$!
trap 'kill $sim_pid 2>/dev/null || true' EXIT

case "${LANG:-}" in *UTF-8*|*utf8*) ;; *) export LANG=C.UTF-8 ;; esac
cd build/demo
../vexa-assistant
