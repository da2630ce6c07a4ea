#!/usr/bin/env bash
# velscan --system end to end in the test prefix: planted resident residue and a variant-1 bootkit on the
# prefix's own first disk (its image file) are cleaned and repaired, a second run finds nothing, and --undo
# puts everything back; a sector written again after a repair stays through an undo:
#   system-scan.sh BUILD BITS
# The checks between the runs are the steps of the Windows test SystemScan.Step; no test program runs while
# velscan scans (a system scan also scans the folders of the running programs).
set -euo pipefail
build=$(cd "$1" && pwd) bits=$2
here=$(cd "$(dirname "$0")" && pwd)
"$here/prefix.sh" ensure "$build" "$bits"
. "$here/wine-env.sh" "$build" "$bits"
require_disk_standin
cd "$build"  # X: in the prefix
fail=0
step() {
  if ! VELUDISK_SYSTEM_STEP=$1 "$WINELOADER" 'X:\tests\win\win_tests.exe' --gtest_filter=SystemScan.Step >"$VELUDISK_WINE_DIR/step.txt" 2>&1; then
    echo "FAILED: step $1" >&2; iconv -c -f GBK -t UTF-8 "$VELUDISK_WINE_DIR/step.txt" >&2 || true; fail=1
  fi
}
velscan() {  # expected-exit-code args...
  local want=$1 rc=0; shift
  "$WINELOADER" 'X:\src\velscan.exe' "$@" >"$VELUDISK_WINE_DIR/velscan.txt" 2>&1 || rc=$?
  if [ "$rc" -ne "$want" ]; then
    echo "FAILED: velscan $* exited $rc, not $want" >&2; iconv -c -f GBK -t UTF-8 "$VELUDISK_WINE_DIR/velscan.txt" >&2 || true; fail=1
  fi
}
cleanup() { step clean-up; rm -rf "$build/src/BackFiles" "$build/src/Cleaner.log" "$VELUDISK_WINE_DIR"/drives/t/system-scan-*.json; }
trap cleanup EXIT
# Earlier sessions would be undone by a bare --undo, and kept copies of other tests' worms are not this test's.
rm -rf "$build/src/BackFiles"
step plant
velscan 1 --system --yes --report-only --quiet --json 'T:\system-scan-plan.json'
step after-plan
velscan 1 --system --yes --quiet --json 'T:\system-scan-run.json'
step after-run
velscan 0 --system --yes --quiet --json 'T:\system-scan-again.json'
step after-second-run
session=$(cat "$VELUDISK_WINE_DIR/drives/t/system-scan-session.txt" 2>/dev/null || echo none)
velscan 0 --undo "$session" --yes
step after-undo
velscan 1 --system --yes --quiet
step rewrite
velscan 1 --undo --yes
step after-refused-undo
exit $fail
