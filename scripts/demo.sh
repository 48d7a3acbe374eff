#!/usr/bin/env bash
# The main job: set up, build every preset, pack the demo product into the
# win64 and win32 installers and show what they carry.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh native win64 win32
bash scripts/wine-prefix.sh null
bash scripts/check-win32.sh

packer=build/native/tools/packer/imepack
for arch in win64 win32; do
  echo
  echo "== build/$arch/demo-ime-setup.exe"
  "$packer" inspect "build/$arch/demo-ime-setup.exe"
done

# The unsealed package holds exactly the demo product's files.
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
echo
echo "== cabextract of the win64 installer's unsealed package"
python3 - "$work/package.bin" <<'PY'
import struct, sys
data = open("build/win64/demo-ime-setup.exe", "rb").read()
pe = struct.unpack_from("<I", data, 0x3C)[0]
magic = struct.unpack_from("<H", data, pe + 24)[0]
offset = struct.unpack_from("<I", data, pe + (0x80 if magic == 0x20B else 0x70))[0]
open(sys.argv[1], "wb").write(data[offset:])
PY
"$packer" unseal "$work/package.bin" "$work/package.cab"
cabextract -q -d "$work/files" "$work/package.cab"
(cd "$work/files" && find . -type f | sort)

# The installer at work: started from a read-only folder under wine64 and
# Xvfb, it restarts from the temporary folder and unpacks its package there.
echo
echo "== the win64 demo installer started from a read-only folder"
python3 scripts/demo_startup.py

# The demo IME installed through the wizard, driven like a person would.
echo
echo "== the win64 demo installer's wizard installs the demo IME"
python3 scripts/demo_wizard.py

# The shipped 32-bit installer in the same WoW64 prefix: where it lands.
echo
echo "== the win32 demo installer installs the demo IME (WoW64)"
python3 scripts/demo_win32.py

# The installed demo IME brought up to date from a local update server.
echo
echo "== the demo IME updated through 检查更新 from a local update server (signed lists; one forged package refused)"
python3 scripts/demo_update.py

# The installed demo IME damaged by hand and repaired from its kept
# package, then removed, each through its own dialog.
echo
echo "== the demo IME repaired through 修复安装 and removed through 卸载软件"
python3 scripts/demo_repair_uninstall.py

# The demo IME deployed without a person: a silent install and the entry's
# silent uninstall, with their exit codes and an excerpt of each log.
echo
echo "== the demo IME installed and removed silently (exit codes, log excerpts)"
python3 scripts/demo_silent.py
