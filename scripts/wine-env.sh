# Sourced by every script that runs Windows programs: a Wine prefix of the
# build's own (never the user's), quiet, with no Mono or Gecko install prompts.
_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${IMEBASE_WINEPREFIX:-$_root/build/wineprefix}"
export WINEARCH=win64
# With Debian's wine32 beside wine64 a win64 prefix is a WoW64 prefix that
# also runs 32-bit programs; a prefix made by the other kind of set-up no
# longer starts programs, so prefixes remember the kind they were made by.
if [ -x /usr/lib/wine/wine ]; then
  export IMEBASE_WINE_KIND=wow64
else
  export IMEBASE_WINE_KIND=win64
fi
export WINEDEBUG="${WINEDEBUG:--all}"
# winedbg is disabled: a crashing test program must end, not wait for a
# debugger until CTest's time-out. winemenubuilder is disabled so that the
# shortcuts tests create never become menu entries of the Linux user.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree=;mshtml=;winedbg.exe=d;winemenubuilder.exe=d}"
# WinINet honours http_proxy; tests talk to 127.0.0.1 directly.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY
unset _root
