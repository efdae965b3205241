# Sourced by run.sh and screenshots.sh: the two simulated controllers of the
# demo, and the Configure.xml that lists them.
#   - "Mill (TCP)": a two-channel milling machine (model P7) over Modbus TCP on
#     127.0.0.1:502, station 10; axes X Y Z A in channel 1, X2 Z in channel 2.
#   - "Lathe (RTU)": a one-channel lathe (model P5) over Modbus RTU on a socat
#     pseudo-terminal pair, station 1, 115200 baud, odd parity; axes X Z C.
# Both are animated and hold the sample machines' programs, system files and
# SYS.PAR. Expects $root (the source tree) and $sim (the built simulator).

demo_pids=()
tcp_started=0

stop_demo_controllers() {
    for pid in "${demo_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
}

# Waits until the simulator logging to $2 says it listens; false when it
# exits first or stays silent for 5 s.
wait_for_listening() {
    local pid=$1 log=$2
    for _ in $(seq 50); do
        grep -q "listening" "$log" 2>/dev/null && return 0
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

# start_demo_controllers DEMO_DIR: the program's end of the serial line is
# DEMO_DIR/tty-pc, the lathe's DEMO_DIR/tty-cnc.
start_demo_controllers() {
    local demo=$1
    mkdir -p "$demo"

    # Modbus TCP always uses port 502, a privileged port.
    if [ "$(id -u)" -ne 0 ] && ! getcap "$sim" 2>/dev/null | grep -q cap_net_bind_service; then
        echo "Allowing the simulator to listen on port 502 (sudo setcap)"
        sudo setcap 'cap_net_bind_service=+ep' "$sim" || true
    fi
    "$sim" --address 127.0.0.1 --port 502 --station 10 --channels 2 \
        --axis-codes 1,2,3,4,102,3 --axis-channels 1,1,1,1,2,2 --animate \
        --folder "$root/sim/samples/mill" >"$demo/mill.log" 2>&1 &
    local tcp_pid=$!
    demo_pids+=("$tcp_pid")

    rm -f "$demo/tty-pc" "$demo/tty-cnc"
    socat pty,raw,echo=0,link="$demo/tty-pc" pty,raw,echo=0,link="$demo/tty-cnc" &
    demo_pids+=("$!")
    for _ in $(seq 50); do
        [ -e "$demo/tty-pc" ] && [ -e "$demo/tty-cnc" ] && break
        sleep 0.1
    done
    if [ -e "$demo/tty-cnc" ]; then
        "$sim" --no-tcp --serial "$demo/tty-cnc" --baud 115200 --parity odd --station 1 \
            --axis-codes 1,3,6 --animate --folder "$root/sim/samples/lathe" >"$demo/lathe.log" 2>&1 &
        demo_pids+=("$!")
        wait_for_listening "$!" "$demo/lathe.log" ||
            echo "The RTU lathe did not start: $(cat "$demo/lathe.log")" >&2
    else
        echo "socat did not make the pseudo-terminal pair: the RTU lathe is not started." >&2
    fi

    if wait_for_listening "$tcp_pid" "$demo/mill.log"; then
        tcp_started=1
    else
        echo "Port 502 on 127.0.0.1 cannot be bound (in use, or no permission): the TCP milling" \
            "machine is not started, its card will stay at connecting. The RTU lathe still is." >&2
    fi
}

# The serial line as Configure.xml names it: the pseudo-terminal's link beside
# the file, relative to the program's working directory.
demo_serial_port=./tty-pc

# write_demo_configure FILE LANGUAGE: both controllers, the shared serial line
# set to the pseudo-terminal, the lathe's card switched on at start;
# LANGUAGE 0 Chinese, 1 English.
write_demo_configure() {
    local file=$1 language=$2
    cat >"$file" <<XML
<Configure>
    <Device Type="1" Name="Mill (TCP)" Model="0" IP="127.0.0.1" Address="10"/>
    <Device Type="0" Name="Lathe (RTU)" Model="1" IP="192.168.3.20" Address="1" On="1"/>
    <Modbus Port="$demo_serial_port" Parity="3" BaudRate="115200" DataBits="8" StopBits="1" NumberOfRetries="3" Timeout="300"/>
    <Set Language="$language"/>
</Configure>
XML
}
