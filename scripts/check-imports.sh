#!/usr/bin/env bash
# Fails when a Windows program imports, the normal way, a DLL that isn't a
# "known DLL". Known DLLs always come from the system folder; any other
# normal import is looked for in the program's own folder first, before a
# line of the program has run, so a planted copy there would run with the
# program's rights. Such libraries belong in the delay-loaded list
# (cmake/delay_load.cmake).
#
#   scripts/check-imports.sh OBJDUMP PROGRAM.exe...
#
# Exit 0: only known DLLs among the normal imports (listed); 1: a program imports another DLL normally, or can't be read.
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: $0 OBJDUMP PROGRAM.exe..." >&2; exit 2; }
objdump="$1"; shift

# The known DLLs that Windows 7 and Windows 10 both keep (the KnownDLLs key
# of Session Manager), plus the system's own core (ntdll, kernelbase) that
# is never searched for. Lower case.
known="advapi32 clbcatq comdlg32 difxapi gdi32 imagehlp imm32 kernel32 kernelbase msctf msvcrt \
normaliz nsi ntdll ole32 oleaut32 psapi rpcrt4 sechost setupapi shell32 shlwapi user32 wldap32 ws2_32"

status=0
for program in "$@"; do
  if ! dump="$("$objdump" -p "$program" 2>&1)"; then
    echo "check-imports: $program: can't be read: $dump" >&2
    status=1; continue
  fi
  # Normal imports come in the import tables' "DLL Name:" lines, before
  # any delay import tables (GNU ld leaves the delay imports out of the
  # header's directory; MinGW's delay-load helper finds them itself).
  normal="$(printf '%s\n' "$dump" | awk '/^The Delay Import Tables/ {exit} /DLL Name:/ {print tolower($3)}')"
  [ -n "$normal" ] || { echo "check-imports: $program: no import table found" >&2; status=1; continue; }
  for dll in $normal; do
    base="${dll%.dll}"
    if ! printf '%s\n' $known | grep -qx "$base"; then
      echo "check-imports: $program imports $dll normally: not a known DLL; delay-load it (cmake/delay_load.cmake)" >&2
      status=1
    fi
  done
  echo "$program: normal imports:" $normal
done
exit $status
