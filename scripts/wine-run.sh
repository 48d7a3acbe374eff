#!/usr/bin/env bash
# CTest's cross-compiling emulator: runs one Windows program under wine64
# in the build's prefix and passes its exit code on.
source "$(dirname "$0")/wine-env.sh"
exec wine "$@"
