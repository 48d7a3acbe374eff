#!/usr/bin/env bash
# Sets up a fresh machine and runs every test suite: the native unit tests
# (plain and under AddressSanitizer/UndefinedBehaviorSanitizer), then for
# each Windows build (win64, and the shipped win32 one in the same WoW64
# prefix) its Windows tests and its end-to-end tests under Xvfb, the build
# check and the installer's size.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/build.sh native native-asan win64 win32 fuzz
bash scripts/wine-prefix.sh null

source scripts/wine-env.sh
# One wineserver for the whole run keeps each wine start cheap (one that is
# already running for the prefix is kept).
wineserver -p 2>/dev/null || true
trap 'wineserver -k 2>/dev/null || true' EXIT
# Start Wine's own services now, detached from CTest: a service started by
# the first test program would inherit its output pipe and hold CTest until
# the time-out.
wine cmd /c exit </dev/null >/dev/null 2>&1 || true

status=0
log="$(mktemp)"
trap 'wineserver -k 2>/dev/null || true; rm -f "$log"' EXIT
run() {  # runs a suite, keeps its output for the summary
  if ! "$@" 2>&1 | tee -a "$log"; then status=1; fi
}
echo "== native tests"
run ctest --preset native -j "$(nproc)"
echo "== native tests under AddressSanitizer and UndefinedBehaviorSanitizer"
run ctest --preset native-asan -j "$(nproc)"
echo "== win64 tests (wine64)"
run ctest --preset win64 -j "$(nproc)"
echo "== win32 tests (WoW64)"
# Where this machine can't run 32-bit programs every win32 test says so
# and counts as skipped; the line is printed once here as well.
bash scripts/check-32bit.sh || true
run ctest --preset win32 -j "$(nproc)"
echo "== fuzz targets, a short fixed run each (clang, libFuzzer)"
run ctest --preset fuzz
echo "== win32 build check"
run bash scripts/check-win32.sh
run bash bench/stub_size.sh

# One closing line over every suite: CTest's "N tests failed out of M"
# lines and the build check's own count.
python3 - "$log" <<'PY'
import re, sys
passed = failed = skipped = 0
for line in open(sys.argv[1], encoding="utf-8", errors="replace"):
    # CTest counts a skipped test among those that didn't fail.
    if re.match(r"\s+\d+ - \S+ \(Skipped\)", line):
        skipped += 1; passed -= 1
    m = re.search(r"tests passed, (\d+) tests failed out of (\d+)", line)
    if m:
        failed += int(m.group(1)); passed += int(m.group(2)) - int(m.group(1))
    m = re.match(r"win32-check: (\d+) passed, (\d+) failed", line)
    if m:
        passed += int(m.group(1)); failed += int(m.group(2))
print(f"all: {passed} passed, {failed} failed, {skipped} skipped")
PY
echo "test run: $((SECONDS / 60)) min $((SECONDS % 60)) s"
exit "$status"
