#!/usr/bin/env bash
# The 32-bit program on 64-bit Windows (a WoW64 prefix): a system scan removes a known malware path from both
# the real (64-bit) system folder and "SysWOW64", and a blacklisted file from the folder of a running 64-bit
# program (the prefix's services run from the real system folder); it leaves every other file of both folders
# as it was, names each file where it really is, and installs no boot-clean driver (a 32-bit kernel image
# cannot load there). The resident family (its names derived from no identify data, as under Wine) is removed
# from both views too: its main file from both system folders, its Run values from both registry views:
#   wow64-system-scan.sh BUILD BITS
# Runs only in the WoW64 prefix (VELUDISK_WOW64=1); elsewhere it reports itself skipped (exit 77).
set -euo pipefail
build=$(cd "$1" && pwd) bits=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh" "$build" "$bits"
[ "$VELUDISK_WINE_BITS" = wow64 ] || { echo "not a WoW64 prefix: skipped"; exit 77; }
"$here/prefix.sh" ensure "$build" "$bits"
require_disk_standin
cd "$build"  # X: in the prefix
windows="$WINEPREFIX/drive_c/windows"
native="$windows/system32" wow="$windows/syswow64"
planted="kavo.exe"  # a known malware path: %sys32dir%\kavo.exe
listed="vdlisted.dat"  # not a known path; its CRC-32 is the first value of the shipped blacklist
json="$VELUDISK_WINE_DIR/drives/t/wow64-system.json"
# The family's main file, and the folders B and G that its immunized names "B\A.exe" and "G\F.exe" make.
resident="xp-d41d8cd9.exe" family_b=204e98 family_g=acf7ef run='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run'
cleanup() {
  rm -f "$native/$planted" "$wow/$planted" "$native/$listed" "$json" "$build/src/Cleaner.log"
  rm -rf "$build/src/BackFiles"
  for view in "$native" "$wow"; do rm -rf "${view:?}/$resident" "${view:?}/$family_b" "${view:?}/$family_g"; done
  for view in 32 64; do "$WINELOADER" reg delete "$run" /v 1d8cd9 /f /reg:$view >/dev/null 2>&1 || true; done
}
trap cleanup EXIT
cleanup
printf 'harmless stand-in for a 64-bit worm copy\r\n' > "$native/$planted"
printf 'harmless stand-in for a 32-bit worm copy, longer\r\n' > "$wow/$planted"
python3 "$here/../../tools/forge_crc.py" 08FFD97D "$(printf 'harmless stand-in for a listed worm %.0s' $(seq 80))" "$native/$listed"
printf 'stand-in for the resident family, 64-bit\r\n' > "$native/$resident"
printf 'stand-in for the resident family, 32-bit copy\r\n' > "$wow/$resident"
for view in 32 64; do "$WINELOADER" reg add "$run" /v 1d8cd9 /d "C:\\windows\\system32\\$resident" /f /reg:$view >/dev/null 2>&1; done
listing() {
  (cd "$1" && find . -mindepth 1 \( -path ./"$planted" -o -path ./"$listed" -o -path ./"$resident" -o -path ./"$family_b" \
    -o -path ./"$family_g" \) -prune -o \
    -printf '%P %s %T@ %m\n' | sort)
}
listing "$native" > "$VELUDISK_WINE_DIR/native.before"
listing "$wow" > "$VELUDISK_WINE_DIR/wow.before"

set +e
"$WINELOADER" 'X:\src\velscan.exe' --system --yes --json 'T:\wow64-system.json' > "$VELUDISK_WINE_DIR/wow64-out.txt" 2>&1
rc=$?
set -e
iconv -f GBK -t UTF-8 "$VELUDISK_WINE_DIR/wow64-out.txt" || true
fail=0
check() { if ! eval "$2"; then echo "FAILED: $1" >&2; fail=1; fi; }
check "velscan found threats (exit 1), got $rc" '[ "$rc" -eq 1 ]'
check "the copy in the 64-bit system folder is gone" '[ ! -e "$native/$planted" ]'
check "the copy in SysWOW64 is gone" '[ ! -e "$wow/$planted" ]'
listing "$native" > "$VELUDISK_WINE_DIR/native.after"
listing "$wow" > "$VELUDISK_WINE_DIR/wow.after"
check "the blacklisted file in the folder of a 64-bit program is gone" '[ ! -e "$native/$listed" ]'
check "it is reported in the real system folder as a blacklist finding" \
  'grep -qF "system32\\\\$listed\", \"outcome\": \"删除成功\", \"action\": \"delete\", \"threatType\": 1" "$json"'
check "and backed up" 'ls "$build/src/BackFiles" | grep -q "^$listed"_'
check "no finding names the alias it was reached by" '! grep -qi sysnative "$json"'
check "every other file of the 64-bit system folder is as it was" \
  'diff "$VELUDISK_WINE_DIR/native.before" "$VELUDISK_WINE_DIR/native.after" >&2'
check "every other file of SysWOW64 is as it was" 'diff "$VELUDISK_WINE_DIR/wow.before" "$VELUDISK_WINE_DIR/wow.after" >&2'
for view in system32 syswow64; do
  check "the removal from $view is reported" 'grep -qF "$view\\\\$planted\", \"outcome\": \"删除成功\"" "$json"'
done
for view in system32 syswow64; do
  check "the resident family's main file is gone from $view (its place immunized)" \
    '[ -d "$windows/$view/$resident" ] && [ ! -f "$windows/$view/$resident" ]'
done
for view in 32 64; do
  check "its Run value is gone from the $view-bit view" '! "$WINELOADER" reg query "$run" /v 1d8cd9 /reg:$view >/dev/null 2>&1'
done
check "no boot-clean driver service" '! "$WINELOADER" reg query "HKLM\\System\\CurrentControlSet\\Services\\BC" >/dev/null 2>&1'
check "no driver file in either drivers folder" '[ ! -e "$native/drivers/BC.sys" ] && [ ! -e "$wow/drivers/BC.sys" ]'
check "no driver extracted beside the program" '[ ! -e "$build/src/bc.sys" ]'
[ "$fail" -eq 0 ] || cat "$json" >&2
exit "$fail"
