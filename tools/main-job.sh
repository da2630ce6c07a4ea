#!/usr/bin/env bash
# The main job in one command: sets up, builds, prepares a throwaway Wine prefix whose removable drive U: holds
# a freshly generated infected stick (one harmless specimen of each family the scanner knows), scans it with
# `velscan --usb --yes`, and shows the stick before and after, the findings, the counters and the log lines.
# Nothing outside the build folder's Wine prefix is scanned or changed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash tools/setup.sh

if tests/wine/prefix.sh can-run 32; then preset=win32 bits=32; else preset=win64 bits=64; fi
echo "== building ($preset)"
cmake --preset "$preset" >/dev/null
cmake --build "build/$preset" -j"$(nproc)" --target velscan win_tests >/dev/null

build="build/$preset"
tests/wine/prefix.sh fresh "$build" "$bits"
tests/wine/prefix.sh start "$build" "$bits"
trap 'tests/wine/prefix.sh stop "$build" "$bits" 2>/dev/null || true' EXIT
. tests/wine/wine-env.sh "$build" "$bits"
require_disk_standin
stick="$VELUDISK_WINE_DIR/drives/u"

echo "== generating the infected stick in U:"
# Programs run from X:, the prefix's drive for the build folder, so that they find what lies beside them.
VELUDISK_MAKE_STICK=1 "$WINELOADER" 'X:\tests\win\win_tests.exe' --gtest_filter=InfectedStick.Generate >/dev/null
show_tree() {  # every entry with its size and DOS attributes (0x2 hidden, 0x4 system)
  (cd "$stick" && find . -mindepth 1 | sort | while read -r entry; do
    attrs=$(getfattr --only-values -n user.DOSATTRIB "$entry" 2>/dev/null | tr -d '\0' || true)
    size=$([ -f "$entry" ] && stat -c %s "$entry" || echo folder)
    printf '  %-32s %8s %s\n' "${entry#./}" "$size" "${attrs:+attributes $attrs}"
  done)
}
echo "== the stick before"
show_tree

echo "== velscan --usb --yes"
rm -f "$build/src/Cleaner.log"
set +e
"$WINELOADER" 'X:\src\velscan.exe' --usb --yes --json 'T:\report.json' | iconv -f GBK -t UTF-8
code=${PIPESTATUS[0]}
set -e
echo "exit code: $code (0 nothing found, 1 threats found, 2 error)"

echo "== the stick after"
show_tree
echo "== Cleaner.log (date, path, outcome, threat type, MD5, CRC-32)"
iconv -f GBK -t UTF-8 "$build/src/Cleaner.log" 2>/dev/null || echo "  (no log)"
echo "== JSON report: $VELUDISK_WINE_DIR/drives/t/report.json"
