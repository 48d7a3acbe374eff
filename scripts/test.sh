#!/usr/bin/env bash
# Sets up a fresh machine and runs every test suite:
#   native unit tests, Windows tests under wine64, the win32 build check and
#   the end-to-end tests under wine64 + Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/build.sh native win64 win32
bash scripts/wine-prefix.sh null

source scripts/wine-env.sh
# One wineserver for the whole run keeps each wine start cheap.
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT
# Start Wine's own services now, detached from CTest: a service started by
# the first test program would inherit its output pipe and hold CTest until
# the time-out.
wine cmd /c exit </dev/null >/dev/null 2>&1 || true

status=0
echo "== native tests"
ctest --preset native -j "$(nproc)" || status=1
echo "== win64 tests (wine64)"
ctest --preset win64 -j "$(nproc)" || status=1
echo "== win32 build check"
bash scripts/check-win32.sh || status=1

exit "$status"
