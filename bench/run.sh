#!/usr/bin/env bash
# Builds what the benchmarks need and runs every one of them, native and
# under Wine, each printing its ratio on its last line. The Wine benchmarks
# use a prefix of their own (build/bench-wineprefix) and a large product
# generated here (build/bench-work: about 2,000 files, 64 MiB) and packed
# with imepack. BENCH_RUNS (default 3) sets how many runs each takes the
# best of. Exits non-zero when a benchmark fails or finds a wrong output.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
runs="${BENCH_RUNS:-3}"

echo "== build"
cmake --preset native -G Ninja >/dev/null
cmake --build --preset native --target imepack make_product packer_bench decipher_bench >/dev/null
cmake --preset win64 -G Ninja >/dev/null
cmake --build --preset win64 --target imesetup wine_bench >/dev/null

export IMEBASE_WINEPREFIX="$root/build/bench-wineprefix"
bash scripts/wine-prefix.sh null
source scripts/wine-env.sh
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT

work="$root/build/bench-work"
packer="$root/build/native/tools/packer/imepack"
chmod -R u+w "$work" 2>/dev/null || true
rm -rf "$work"
mkdir -p "$work"
winpath() { winepath -w "$1" 2>/dev/null; }

echo "== decipher-vs-openssl"
build/native/bench/decipher_bench
echo "== packer-vs-gcab"
build/native/bench/packer_bench "$packer" "$work/packer"

echo "== the large product"
build/native/bench/make_product "$work"
# The installer from a read-only folder (as from a CD), its package and
# the same cabinet in plain.
mkdir -p "$work/media"
"$packer" build "$work/product" "$work/product.txt" build/win64/src/app/imesetup.exe "$work/media/setup.exe"
offset=$("$packer" inspect "$work/media/setup.exe" | sed -n 's/^package offset: \([0-9]*\).*/\1/p')
tail -c +"$((offset + 1))" "$work/media/setup.exe" > "$work/package.bin"
"$packer" unseal "$work/package.bin" "$work/plain.cab"
head -c "$offset" "$work/media/setup.exe" > "$work/unstall.exe"
chmod 444 "$work/media/setup.exe"
chmod 555 "$work/media"

echo "== launch-vs-cabextract"
# cabextract extracting the plain cabinet natively, best of the runs.
best=""
for _ in $(seq "$runs"); do
  rm -rf "$work/cabextract"
  start=$(date +%s.%N)
  cabextract -q -d "$work/cabextract" "$work/plain.cab"
  took=$(echo "$(date +%s.%N) - $start" | bc)
  if [ -z "$best" ] || [ "$(echo "$took < $best" | bc)" = 1 ]; then best=$took; fi
done
diff -r "$work/product" "$work/cabextract" -x InstallInfo.dif >/dev/null \
  || { echo "cabextract's tree differs from the product" >&2; exit 1; }
rm -rf "$work/cabextract"
wine build/win64/bench/wine_bench.exe launch "$(winpath "$work/media/setup.exe")" "基准输入法" "$best" "$runs"

echo "== extract-sealed-vs-plain"
wine build/win64/bench/wine_bench.exe extract "$(winpath "$work/package.bin")" "$(winpath "$work/plain.cab")" \
  "$(winpath "$work/product")" "$(winpath "$work")\\extract" "$runs"

echo "== install-vs-copy"
wine build/win64/bench/wine_bench.exe install "$(winpath "$work/product")" "$(winpath "$work/package.bin")" \
  "$(winpath "$work/unstall.exe")" "$(winpath "$work")\\install" "$runs"

chmod -R u+w "$work"
rm -rf "$work"
