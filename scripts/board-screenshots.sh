#!/usr/bin/env bash
# Renders the README's pictures of the shop board (scripts/board_screenshots.py)
# into docs/screenshots/{zh,en}/board-*.png with headless Chromium, against a
# made-up shop of simulated controllers in a network namespace of its own.
# Called by scripts/screenshots.sh; runs alone too.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_TARGETS="vexa-sim vexa-assistant" scripts/setup.sh build
python=/usr/bin/python3
[ -x "$python" ] || python=python3
if [ "$(id -u)" -eq 0 ]; then
    isolated=(unshare -n)
else
    isolated=(unshare -rn)
fi
LANG=C.UTF-8 "${isolated[@]}" sh -c 'ip link set lo up && exec "$@"' sh \
    "$python" scripts/board_screenshots.py build/vexa-assistant build/sim/vexa-sim docs/screenshots
