#!/usr/bin/env bash
# Creates the test Wine prefix under build/ once: wineboot, Chinese font
# substitutes so dialog text renders, and the null graphics driver so that
# dialogs and message boxes run without a display (the end-to-end tests
# switch a prefix of their own to X11 under Xvfb).
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"

GRAPHICS="${1:-null}"
# An optional WIDTHxHEIGHT puts every program of the prefix on one virtual
# desktop of that size: under Xvfb, which has no window manager, Wine then
# draws window frames and captions itself, as screenshots should show them.
DESKTOP="${2:-}"
if [ -n "$DESKTOP" ] && ! [[ "$DESKTOP" =~ ^[0-9]+x[0-9]+$ ]]; then
  echo "wine-prefix.sh: desktop size must be WIDTHxHEIGHT, not '$DESKTOP'" >&2
  exit 2
fi
marker="$WINEPREFIX/.imebase-ready-$GRAPHICS${DESKTOP:+-$DESKTOP}"
# The marker holds the kind of Wine the prefix was made by.
[ -f "$marker" ] && [ "$(cat "$marker")" = "$IMEBASE_WINE_KIND" ] && exit 0
# A prefix of ours made by the other kind (wine32 installed or removed
# since) is remade from scratch; a folder without our marker is never removed.
if compgen -G "$WINEPREFIX/.imebase-ready-*" >/dev/null; then
  wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
fi

mkdir -p "$WINEPREFIX"
wineboot -i >/dev/null 2>&1 || true
wineserver -w

reg_file="$(mktemp --suffix=.reg)"
trap 'rm -f "$reg_file"' EXIT
{
  printf 'Windows Registry Editor Version 5.00\r\n\r\n'
  printf '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes]\r\n'
  for face in "MS Shell Dlg" "MS Shell Dlg 2" "SimSun" "Tahoma" "宋体" "Microsoft YaHei"; do
    printf '"%s"="WenQuanYi Micro Hei"\r\n' "$face"
  done
  printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Drivers]\r\n'
  if [ "$GRAPHICS" = null ]; then
    printf '"Graphics"="null"\r\n'
  else
    printf '"Graphics"="x11"\r\n'
  fi
  if [ -n "$DESKTOP" ]; then
    printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]\r\n"Desktop"="Default"\r\n'
    printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\r\n"Default"="%s"\r\n' "$DESKTOP"
  fi
  printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\DllOverrides]\r\n'
  printf '"mscoree"=""\r\n"mshtml"=""\r\n'
} | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } > "$reg_file"
wine regedit /S "$(winepath -w "$reg_file")" >/dev/null 2>&1
wineserver -w
rm -f "$WINEPREFIX"/.imebase-ready-*
echo "$IMEBASE_WINE_KIND" > "$marker"
echo "wine prefix ready: $WINEPREFIX ($IMEBASE_WINE_KIND, $GRAPHICS graphics${DESKTOP:+, desktop $DESKTOP})"
