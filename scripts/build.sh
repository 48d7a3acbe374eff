#!/usr/bin/env bash
# Configures and builds the given presets (default: all three).
set -euo pipefail
cd "$(dirname "$0")/.."
presets=("$@")
[ "${#presets[@]}" -gt 0 ] || presets=(native win64 win32)
jobs="$(nproc)"
for p in "${presets[@]}"; do
  echo "== build $p"
  cmake --preset "$p" -G Ninja >/dev/null
  cmake --build --preset "$p" -j "$jobs"
done
