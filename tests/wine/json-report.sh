#!/usr/bin/env bash
# velscan's JSON report against its documented schema (docs/velscan-report.schema.json):
#   json-report.sh BUILD BITS
# The generated infected stick on U: is scanned report-only, then for real, then again (no findings), and a
# folder is scanned by PATH; every report must validate. A report with a counter taken out must not.
set -euo pipefail
build=$(cd "$1" && pwd) bits=$2
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
"$here/prefix.sh" ensure "$build" "$bits"
. "$here/wine-env.sh" "$build" "$bits"
require_disk_standin
cd "$build"  # X: in the prefix
t="$VELUDISK_WINE_DIR/drives/t" u="$VELUDISK_WINE_DIR/drives/u"
reports=(report-preview report-clean report-again report-path)
cleanup() {
  for r in "${reports[@]}"; do rm -f "$t/$r.json"; done
  rm -f "$t/report-broken.json"; rm -rf "$t/json-report-folder"
  find "$u" -mindepth 1 -delete 2>/dev/null || true
}
trap cleanup EXIT
VELUDISK_MAKE_STICK=1 "$WINELOADER" 'X:\tests\win\win_tests.exe' --gtest_filter=InfectedStick.Generate >/dev/null
mkdir -p "$t/json-report-folder/sub"
head -c 4000 /dev/urandom > "$t/json-report-folder/sub/data.bin"

velscan() { "$WINELOADER" 'X:\src\velscan.exe' "$@" --quiet >/dev/null || true; }
velscan --usb --yes --report-only --json 'T:\report-preview.json'
velscan --usb --yes --json 'T:\report-clean.json'
velscan --usb --yes --json 'T:\report-again.json'
velscan 'T:\json-report-folder' --json 'T:\report-path.json'

schema="$root/docs/velscan-report.schema.json"
files=()
for r in "${reports[@]}"; do files+=("$t/$r.json"); done
/usr/bin/python3 "$root/tools/validate_report.py" "$schema" "${files[@]}"
grep -q '"reportOnly": true' "$t/report-preview.json"
grep -q '"path": "' "$t/report-clean.json"  # the real run has findings, so they were validated
grep -q '"findings": \[\]' "$t/report-again.json"
grep -q '"mode": 5' "$t/report-path.json"

# The validation can fail: a report without one of its counters is refused.
grep -v '"Deleted"' "$t/report-clean.json" > "$t/report-broken.json"
if /usr/bin/python3 "$root/tools/validate_report.py" "$schema" "$t/report-broken.json" 2>/dev/null; then
  echo "a report without its Deleted counter passed the schema" >&2
  exit 1
fi
echo "JSON reports: ${#reports[@]} valid, a broken one refused"
