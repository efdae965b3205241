#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12 (only what is
# missing), then configures and builds into the given directory.
# Usage: scripts/setup.sh [build-dir] [extra cmake arguments...]
# BUILD_TARGETS (space-separated) builds only those targets; EXTRA_PACKAGES
# names further Debian packages a caller needs.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(g++ cmake make pkg-config qtbase5-dev qtbase5-dev-tools qttools5-dev qttools5-dev-tools libqt5serialbus5-dev libqt5serialport5-dev
          socat fonts-wqy-microhei libcap2-bin libmosquitto-dev libmicrohttpd-dev qtkeychain-qt5-dev mosquitto mosquitto-clients
          libdtl-dev libqt5sql5-sqlite libqt5charts5-dev systemd qttranslations5-l10n chromium chromium-driver python3-selenium ${EXTRA_PACKAGES:-})
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build_dir="${1:-build}"
shift || true
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
    cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
fi
targets=()
for t in ${BUILD_TARGETS:-}; do
    targets+=(--target "$t")
done
cmake --build "$build_dir" -j"$(nproc)" "${targets[@]}"
