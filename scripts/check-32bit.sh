#!/usr/bin/env bash
# Runs the given command when this machine can run 32-bit Windows programs:
# Wine's 32-bit loader (Debian's wine32) must be there and the kernel must
# execute it. Otherwise prints one line saying why and exits 77, which the
# 32-bit tests declare as CTest's skip code. Without a command it only checks.
loader="${IMEBASE_WINE32_LOADER:-/usr/lib/wine/wine}"
if [ ! -e "$loader" ]; then
  echo "win32 tests skipped: wine32 is not installed ($loader is missing; scripts/setup.sh installs it)"
  exit 77
fi
if ! reason="$("$loader" --version 2>&1 </dev/null)"; then
  echo "win32 tests skipped: this machine's kernel does not execute 32-bit programs ($loader: ${reason##*: })"
  exit 77
fi
[ "$#" -eq 0 ] || exec "$@"
