#!/usr/bin/env bash
# The main job: set up, build every preset and show what the installer does.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh native win64 win32
bash scripts/wine-prefix.sh null
bash scripts/check-win32.sh
