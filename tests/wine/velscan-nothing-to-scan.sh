#!/usr/bin/env bash
# velscan ends with exit code 2 and a one-line reason when it has nothing to scan:
#   velscan-nothing-to-scan.sh BUILD BITS
# a folder that does not exist, a file given as the folder, and --usb with no removable drive (the prefix's U:
# is unmapped for that case and mapped again afterwards; Wine's mount manager reads its drives when it starts,
# so the prefix's server is restarted around it).
set -euo pipefail
build=$(cd "$1" && pwd) bits=$2
here=$(cd "$(dirname "$0")" && pwd)
"$here/prefix.sh" ensure "$build" "$bits"
. "$here/wine-env.sh" "$build" "$bits"
require_disk_standin
cd "$build"  # X: in the prefix
t="$VELUDISK_WINE_DIR/drives/t"
devices="$WINEPREFIX/dosdevices"
mkdir -p "$t/nothing-to-scan"
printf 'plain text\n' > "$t/nothing-to-scan/file.txt"
restart_server() { "$WINESERVER" -k 2>/dev/null || true; "$WINESERVER" -w 2>/dev/null || true; }
cleanup() {
  if [ ! -e "$devices/u:" ]; then
    ln -sfn "$VELUDISK_WINE_DIR/drives/u" "$devices/u:"
    restart_server
    "$here/prefix.sh" start "$build" "$bits" >/dev/null 2>&1 || true  # the persistent server the run had
  fi
  rm -rf "$t/nothing-to-scan"
}
trap cleanup EXIT

fail=0
expect_two() {  # description reason-text args...
  local what=$1 reason=$2; shift 2
  local err rc
  set +e
  "$WINELOADER" 'X:\src\velscan.exe' --yes "$@" >/dev/null 2>"$t/stderr.txt"
  rc=$?
  set -e
  err=$(iconv -f GBK -t UTF-8 "$t/stderr.txt"); rm -f "$t/stderr.txt"
  local lines
  lines=$(printf '%s\n' "$err" | grep -c . || true)
  if [ "$rc" -ne 2 ] || [ "$lines" -ne 1 ] || ! printf '%s' "$err" | grep -qF "$reason"; then
    echo "FAILED: $what: exit $rc, stderr:" >&2; printf '%s\n' "$err" >&2; fail=1
  else
    echo "ok: $what: exit 2, \"$err\""
  fi
}
expect_two "a folder that does not exist" '文件夹不存在：T:\nothing-to-scan\missing' 'T:\nothing-to-scan\missing'
expect_two "a file given as the folder" '不是文件夹：T:\nothing-to-scan\file.txt' 'T:\nothing-to-scan\file.txt'
expect_two "one good and one missing folder" '文件夹不存在：T:\nothing-to-scan\missing' 'T:\nothing-to-scan' 'T:\nothing-to-scan\missing'
rm -f "$devices/u:"
restart_server
expect_two "--usb with no removable drive" '没有可扫描的移动磁盘' --usb
cleanup
mkdir -p "$t/nothing-to-scan"
# The same folder that exists is scanned (exit 0: nothing found there).
set +e
"$WINELOADER" 'X:\src\velscan.exe' --yes --report-only 'T:\nothing-to-scan' >/dev/null 2>&1
rc=$?
set -e
[ "$rc" -eq 0 ] || { echo "FAILED: an existing clean folder gave exit $rc" >&2; fail=1; }
exit "$fail"
