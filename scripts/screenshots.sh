#!/usr/bin/env bash
# Renders the README's screenshots into docs/screenshots/{zh,en}/: the six
# views, a card's setting page and the upload dialog (then the shop board's,
# by scripts/board-screenshots.sh), at work on the demo's
# two controllers (scripts/demo-controllers.sh), in Chinese and in English, in
# a virtual X server (Xvfb) with the CJK font. Stop scripts/run.sh first: both
# use port 502 on 127.0.0.1.
# Usage: scripts/screenshots.sh [history]  (history: only the history window's pictures)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
only=()
[ "${1:-}" = history ] && only=(--history-only)
EXTRA_PACKAGES="xvfb xauth" BUILD_TARGETS="vexa-sim vexa-screenshots" scripts/setup.sh build

sim=$root/build/sim/vexa-sim
# The program runs in a fixed folder that is also its home, the same on every
# machine: the pictures show it (the file dialog's folder and side bar) and
# nothing of the machine that renders them. Made afresh each time.
demo=/tmp/vexa-screens
rm -rf "$demo"
. scripts/demo-controllers.sh
trap stop_demo_controllers EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

start_demo_controllers "$demo"
if [ "$tcp_started" -ne 1 ]; then
    echo "The pictures need both controllers." >&2
    exit 1
fi

# Files an operator might drop on the lathe's card.
uploads=("$root/sim/samples/lathe/O0008.txt" "$root/sim/samples/lathe/O0020.txt"
         "$root/sim/samples/lathe/TOFS.PAR" "$root/sim/samples/lathe/USRMACRO.TXT")

export LANG=C.UTF-8
for language in zh en; do
    write_demo_configure "$demo/Configure.xml" "$([ $language = en ] && echo 1 || echo 0)"
    out=$root/docs/screenshots/$language
    [ ${#only[@]} -eq 0 ] && rm -rf "$out"
    (cd "$demo" && HOME=$demo XDG_CONFIG_HOME=$demo/.config XDG_DATA_HOME=$demo/.local/share XDG_CACHE_HOME=$demo/.cache \
        xvfb-run -a -s "-screen 0 1280x800x24" "$root/build/tests/vexa-screenshots" "${only[@]}" "$out" "${uploads[@]}")
    echo "Written: $out"
done
stop_demo_controllers
if [ ${#only[@]} -eq 0 ]; then
    scripts/board-screenshots.sh
fi
