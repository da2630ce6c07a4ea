#!/usr/bin/env bash
# A program that faults under Wine ends with its exception code, quickly, and starts no debugger:
#   crash-ends.sh BUILD BITS PROGRAM
set -euo pipefail
build=$(cd "$1" && pwd) bits=$2 exe=$3
here=$(cd "$(dirname "$0")" && pwd)
"$here/prefix.sh" ensure "$build" "$bits"
. "$here/wine-env.sh" "$build" "$bits"
require_disk_standin
limit=30
start=$(date +%s)
set +e
timeout -k 5 "$limit" "$WINELOADER" "$exe"
rc=$?
set -e
elapsed=$(( $(date +%s) - start ))
echo "exit code $rc after ${elapsed}s"
if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
  echo "FAILED: the faulting program did not end within ${limit}s (a debugger waiting?)" >&2; exit 1
fi
[ "$rc" -ne 0 ] || { echo "FAILED: the faulting program reported success" >&2; exit 1; }
# No debugger of this prefix is left behind.
for pid in $(pgrep -f winedbg || true); do
  if tr '\0' '\n' < "/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX"; then
    echo "FAILED: winedbg (pid $pid) was started in the test prefix" >&2; kill -9 "$pid" || true; exit 1
  fi
done
