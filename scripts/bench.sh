#!/usr/bin/env bash
# Builds and runs the performance benchmarks whose figures are in
# docs/performance.md. Installs what they need (libmodbus-dev for the transfer's
# floor, socat for RTU) when missing. The network benchmarks run in a network
# namespace of their own, so their loopback simulators meet nothing else.
# Usage: scripts/bench.sh [silent | transfer | backup | startup | mqtt | editor | programs | history | window | collector | board | all = all] [arguments for the benchmark]
# (history: bench_history with its arguments, then the 64-controller shop with
# and without recording. board: bench/bench_board.py, the shop board in headless
# Chromium against a collector of 1,000 controllers.)
set -euo pipefail
cd "$(dirname "$0")/.."

which="${1:-all}"
shift || true
EXTRA_PACKAGES="libmodbus-dev iproute2 util-linux" BUILD_TARGETS="bench_silent bench_transfer bench_backup bench_startup bench_mqtt bench_prgtextedit bench_programlist bench_history bench_window bench_collector vexa-sim vexa-assistant" \
    scripts/setup.sh build
# A build folder configured before libmodbus was installed finds it now.
cmake build >/dev/null
cmake --build build -j"$(nproc)" --target bench_transfer

export QT_QPA_PLATFORM=offscreen
# Debian's python3, where python3-selenium is.
python=/usr/bin/python3
[ -x "$python" ] || python=python3
isolated() {
    if [ "$(id -u)" -eq 0 ]; then
        unshare -n sh -c 'ip link set lo up && exec "$@"' sh "$@"
    else
        unshare -rn sh -c 'ip link set lo up && exec "$@"' sh "$@"
    fi
}
case "$which" in
silent) isolated build/bench/bench_silent "$@" ;;
transfer) isolated build/bench/bench_transfer "$@" ;;
backup) isolated build/bench/bench_backup "$@" ;;
startup) build/bench/bench_startup "$@" ;;
mqtt) isolated build/bench/bench_mqtt "$@" ;;
editor) build/bench/bench_prgtextedit "$@" ;;
programs) isolated build/bench/bench_programlist "$@" ;;
window) isolated build/bench/bench_window "$@" ;;
collector) isolated build/bench/bench_collector "$@" ;;
board) isolated "$python" bench/bench_board.py build/vexa-assistant build/sim/vexa-sim "$@" ;;
history)
    build/bench/bench_history "$@"
    isolated build/bench/bench_silent 15 3 history
    ;;
all)
    isolated build/bench/bench_silent 15 3
    isolated build/bench/bench_transfer 5 both
    isolated build/bench/bench_transfer 3 large
    isolated build/bench/bench_backup 5 both
    build/bench/bench_startup 9
    isolated build/bench/bench_mqtt 20 3
    build/bench/bench_prgtextedit 3
    isolated build/bench/bench_programlist 3
    build/bench/bench_history 365 5 20
    isolated build/bench/bench_silent 15 3 history
    isolated build/bench/bench_window 1000 15 2
    isolated build/bench/bench_collector 60 healthy
    isolated build/bench/bench_collector 60 faulty
    isolated "$python" bench/bench_board.py build/vexa-assistant build/sim/vexa-sim
    ;;
*)
    echo "usage: $0 [silent | transfer | backup | startup | mqtt | editor | programs | history | window | collector | board | all] [arguments]" >&2
    exit 2
    ;;
esac
