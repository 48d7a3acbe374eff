#!/usr/bin/env bash
# The shipped installer is a 32-bit GUI program for Intel 80386; the win64
# one is PE32+. Neither may need MinGW runtime DLLs.
set -euo pipefail
cd "$(dirname "$0")/.."
fail=0
check() {  # file, expected text in `file` output, objdump arch
  local f="$1" want="$2" dll
  if [ ! -f "$f" ]; then echo "missing: $f"; fail=1; return; fi
  local desc; desc="$(file -b "$f")"
  if [[ "$desc" != *"$want"* ]]; then echo "FAIL $f: $desc"; fail=1; return; fi
  for dll in $(objdump -p "$f" | awk '/DLL Name:/ {print $3}'); do
    case "${dll,,}" in
      libgcc*|libstdc++*|libwinpthread*) echo "FAIL $f needs $dll"; fail=1 ;;
    esac
  done
  echo "ok   $f: $desc"
}
check build/win32/src/app/imesetup.exe "PE32 executable (GUI) Intel 80386"
check build/win64/src/app/imesetup.exe "PE32+ executable (GUI) x86-64"
[ "$fail" -eq 0 ] && echo "win32-check: 1 passed, 0 failed" || echo "win32-check: 0 passed, 1 failed"
exit "$fail"
