#!/usr/bin/env bash
# The bare installer program of each Windows build (imesetup.exe as it is
# shipped: stripped, no package attached), in KiB rounded up. Prints
# `stub-size: win32 N KiB, win64 M KiB`; a build that isn't there reads
# "missing", and one that still carries debug sections makes it fail.
set -euo pipefail
cd "$(dirname "$0")/.."
status=0
line="stub-size:"
for preset in win32 win64; do
  exe="build/$preset/src/app/imesetup.exe"
  if [ ! -f "$exe" ]; then
    line+=" $preset missing,"
    status=1
    continue
  fi
  if objdump -h "$exe" | grep -q ' \.debug_'; then
    echo "stub-size: $exe carries debug sections" >&2
    status=1
  fi
  line+=" $preset $(( ($(stat -c %s "$exe") + 1023) / 1024 )) KiB,"
done
echo "${line%,}"
exit "$status"
