#!/usr/bin/env bash
# The scan benchmark (not a test): generates a corpus of a few thousand files (500 bytes to 6 MiB: programs,
# scripts, media, random data, in nested folders) on the Wine prefix's fixed drive T:, then measures in one run
#   - the per-file check natively on the portable core (bench/filecheck_bench),
#   - velscan --report-only under Wine over the same folder,
#   - md5sum over the files the check examines (1,025 bytes to 5 MiB - 1),
# and prints MB/s, files/s, the ratios and peak memory (best of three runs each).   bash bench/scan_bench.sh [FILES]   (default 2000)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
count=${1:-2000}
if tests/wine/prefix.sh can-run 32; then preset=win32 bits=32; else preset=win64 bits=64; fi
cmake --preset bench >/dev/null && cmake --build build/bench --target filecheck_bench >/dev/null
cmake --preset "$preset" >/dev/null && cmake --build "build/$preset" --target velscan >/dev/null
build="build/$preset"
tests/wine/prefix.sh ensure "$build" "$bits"
tests/wine/prefix.sh stop "$build" "$bits" 2>/dev/null || true  # a server left running by hand is restarted
tests/wine/prefix.sh start "$build" "$bits"
trap 'tests/wine/prefix.sh stop "$build" "$bits" 2>/dev/null || true' EXIT
corpus="$build/wine/drives/t/bench-corpus"
rm -rf "$corpus"
python3 - "$corpus" "$count" <<'PY'
import os, random, sys
root, count = sys.argv[1], int(sys.argv[2])
rng = random.Random(20261210)
kinds = ['exe', 'vbs', 'mp3', 'bin']
def size():
    r = rng.random()
    if r < 0.70: return rng.randint(500, 64 << 10)
    if r < 0.97: return rng.randint(64 << 10, 1 << 20)
    return rng.randint(1 << 20, 6 << 20)
def body(kind, n):
    if kind == 'exe':  # a PE header then random bytes: passes the executable tests, goes to every detector
        head = bytearray(512); head[0:2] = b'MZ'; head[60:64] = (64).to_bytes(4, 'little'); head[64:68] = b'PE\0\0'
        head[68:70] = (0x14c).to_bytes(2, 'little'); head[84:86] = (224).to_bytes(2, 'little'); head[88:90] = (0x10b).to_bytes(2, 'little')
        return bytes(head) + rng.randbytes(max(0, n - 512))
    if kind == 'vbs':
        line = b'Set o = CreateObject("Scripting.FileSystemObject")\r\nWScript.Echo "hello"\r\n'
        return (line * (n // len(line) + 1))[:n]
    return rng.randbytes(n)
for i in range(count):
    depth = rng.randint(0, 4)
    folder = os.path.join(root, *[f'd{rng.randint(0, 6)}' for _ in range(depth)])
    os.makedirs(folder, exist_ok=True)
    kind = rng.choice(kinds)
    with open(os.path.join(folder, f'f{i}.{kind}'), 'wb') as f:
        f.write(body(kind, size()))
PY
examined=$(find "$corpus" -type f -size +1024c -size -5242880c | wc -l)
bytes=$(find "$corpus" -type f -size +1024c -size -5242880c -printf '%s\n' | awk '{s += $1} END {print s}')
largest=$(find "$corpus" -type f -size +1024c -size -5242880c -printf '%s\n' | sort -n | tail -1)
echo "corpus: $(find "$corpus" -type f | wc -l) files, $examined to examine, $((bytes / 1000000)) MB, largest $((largest / 1024)) KiB"
sync; cat $(find "$corpus" -type f) > /dev/null  # every run below reads from the page cache

build/bench/bench/filecheck_bench "$corpus" "$build/res/icon-index.bin" "$build/res/icon-images.bin"
# Each command three times, the fastest kept ("seconds peak-KiB"): this machine is shared and noisy.
best() {
  local best="" t
  for _ in 1 2 3; do
    t=$( { /usr/bin/time -f '%e %M' "$@" > /dev/null; } 2>&1 | tail -1)
    if [ -z "$best" ] || awk -v a="${t%% *}" -v b="${best%% *}" 'BEGIN { exit !(a < b) }'; then best=$t; fi
  done
  echo "$best"
}
native=$(best build/bench/bench/filecheck_bench "$corpus" "$build/res/icon-index.bin" "$build/res/icon-images.bin")
md5=$(best sh -c "find '$corpus' -type f -size +1024c -size -5242880c -print0 | xargs -0 md5sum")
. tests/wine/wine-env.sh "$build" "$bits"
wine=$(best "$WINELOADER" 'X:\src\velscan.exe' --report-only --quiet 'T:\bench-corpus')
# What any Wine program pays before it runs: velscan over an empty folder.
mkdir -p "$build/wine/drives/t/bench-empty/sub"
startup=$(best "$WINELOADER" 'X:\src\velscan.exe' --report-only --quiet 'T:\bench-empty')
rmdir "$build/wine/drives/t/bench-empty/sub" "$build/wine/drives/t/bench-empty"
python3 - "$bytes" "$examined" ${native%% *} $md5 $wine "$largest" ${startup%% *} <<'PY'
import sys
b, n, native, md5t, md5m, wt, wm, largest, st = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3]), float(sys.argv[4]), int(sys.argv[5]), float(sys.argv[6]), int(sys.argv[7]), int(sys.argv[8]), float(sys.argv[9])
for name, t in (('native per-file check', native), ('md5sum', md5t), ('velscan --report-only (Wine)', wt)):
    print(f'{name:30} {t:7.2f} s  {b / 1e6 / t:8.0f} MB/s  {n / t:8.0f} files/s')
print(f'native / md5sum time: {native / md5t:.2f}   velscan / md5sum time: {wt / md5t:.2f} '
      f'(of which {st:.2f} s is Wine starting the program: {st / md5t:.2f} of md5sum\'s time)')
print(f'peak memory: velscan (Wine loader process) {wm / 1024:.1f} MiB, md5sum {md5m / 1024:.1f} MiB; '
      f'goal below 32 MiB + largest file = {32 + largest / 1048576:.1f} MiB')
PY
rm -rf "$corpus"
