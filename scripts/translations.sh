#!/usr/bin/env bash
# Brings resources/translations/vexa_en.ts up to date with the texts of the
# sources and forms (new texts appear unfinished, texts no longer used are
# marked obsolete and dropped); the English is then filled in with Qt
# Linguist or by hand. The build turns the file into the .qm it carries.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v lupdate >/dev/null || { echo "lupdate is missing: scripts/setup.sh installs it" >&2; exit 1; }
lupdate -locations none -no-obsolete -source-language zh_CN -target-language en_US \
    app config devices link views $(ls -d archive history mqtt web 2>/dev/null) \
    -ts resources/translations/vexa_en.ts
