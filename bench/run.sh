#!/usr/bin/env bash
# Builds what the benchmarks need and runs every one of them, native and
# under Wine, each printing its ratio on its last line. The Wine benchmarks
# use a prefix of their own (build/bench-wineprefix) and a large product
# generated here (build/bench-work: about 2,000 files, 64 MiB) and packed
# with imepack. BENCH_RUNS (default 3) sets how many runs each takes the
# best of. BENCH_ONLY (e.g. "launch extract") runs only the benchmarks whose
# names contain one of its words. Exits non-zero when a benchmark fails or
# finds a wrong output.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
runs="${BENCH_RUNS:-3}"

echo "== build"
log="$root/build/bench-build.log"
mkdir -p build
build() {
  { cmake --preset "$1" -G Ninja && cmake --build --preset "$1" --target "${@:2}"; } >"$log" 2>&1 \
    || { cat "$log" >&2; echo "bench/run.sh: the $1 build failed" >&2; exit 1; }
}
build native imepack make_product packer_bench decipher_bench
build win64 imesetup wine_bench demo_ime_product demo_update_server

export IMEBASE_WINEPREFIX="$root/build/bench-wineprefix"
bash scripts/wine-prefix.sh null
source scripts/wine-env.sh
wineserver -p 2>/dev/null || true  # one server for the whole run (already running: fine)
server_pid=""
finish() {
  [ -z "$server_pid" ] || kill "$server_pid" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
}
trap finish EXIT

work="$root/build/bench-work"
packer="$root/build/native/tools/packer/imepack"
chmod -R u+w "$work" 2>/dev/null || true
rm -rf "$work"
mkdir -p "$work"
winpath() { winepath -w "$1" 2>/dev/null; }
# True when the benchmark named $1 is to run.
wanted() {
  [ -z "${BENCH_ONLY:-}" ] && return 0
  local word
  for word in $BENCH_ONLY; do [[ "$1" == *"$word"* ]] && return 0; done
  return 1
}

echo "== load: $(uptime)"
if wanted decipher-vs-openssl; then
  echo "== decipher-vs-openssl"
  build/native/bench/decipher_bench
fi
if wanted packer-vs-gcab; then
  echo "== packer-vs-gcab"
  build/native/bench/packer_bench "$packer" "$work/packer"
fi

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

if wanted launch-vs-cabextract; then
echo "== launch-vs-cabextract"
# cabextract extracting the plain cabinet natively, best of the runs.
best=""
for _ in $(seq "$runs"); do
  rm -rf "$work/cabextract"
  start=$EPOCHREALTIME
  cabextract -q -d "$work/cabextract" "$work/plain.cab"
  best=$(awk -v s="$start" -v e="$EPOCHREALTIME" -v b="$best" 'BEGIN { t = e - s; print (b == "" || t < b) ? t : b }')
done
diff -r "$work/product" "$work/cabextract" -x InstallInfo.dif >/dev/null \
  || { echo "cabextract's tree differs from the product" >&2; exit 1; }
rm -rf "$work/cabextract"
wine build/win64/bench/wine_bench.exe launch "$(winpath "$work/media/setup.exe")" "基准输入法" \
  "$(winpath "$work/product")" "$best" "$runs"
fi

if wanted extract-sealed-vs-plain; then
  echo "== extract-sealed-vs-plain"
  wine build/win64/bench/wine_bench.exe extract "$(winpath "$work/package.bin")" "$(winpath "$work/plain.cab")" \
    "$(winpath "$work/product")" "$(winpath "$work")\\extract" "$runs"
fi

if wanted install-vs-copy; then
  echo "== install-vs-copy"
  wine build/win64/bench/wine_bench.exe install "$(winpath "$work/product")" "$(winpath "$work/package.bin")" \
    "$(winpath "$work/unstall.exe")" "$(winpath "$work")\\install" "$runs"
fi

if wanted update-vs-download; then
echo "== update-vs-download"
# A copy of the demo update server's files on a free port, its lists
# pointing at that port.
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cp -r build/win64/demo-update-server "$work/served"
grep -rl "http://127.0.0.1:18080" "$work/served" | xargs sed -i "s#http://127.0.0.1:18080#http://127.0.0.1:$port#g"
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$work/served" >/dev/null 2>&1 &
server_pid=$!
for _ in $(seq 50); do
  python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1)" 2>/dev/null && break
  sleep 0.2
done
wine build/win64/bench/wine_bench.exe update "http://127.0.0.1:$port" "$(winpath "$work/served")" \
  "$(winpath build/win64/samples/demo-ime/product)" "$(winpath "$work")\\update" "$runs"
fi

echo "== load: $(uptime)"
chmod -R u+w "$work"
rm -rf "$work"
