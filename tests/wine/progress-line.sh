#!/usr/bin/env bash
# velscan's live progress line goes to a console and nowhere else:
#   progress-line.sh BUILD BITS
# On a terminal (a pseudo-terminal made by script(1), which Wine turns into a console) the line shows the
# files examined and the threats; with --quiet, or with stderr in a pipe or a file, nothing is written there.
set -euo pipefail
build=$(cd "$1" && pwd) bits=$2
here=$(cd "$(dirname "$0")" && pwd)
"$here/prefix.sh" ensure "$build" "$bits"
. "$here/wine-env.sh" "$build" "$bits"
require_disk_standin
work="$VELUDISK_WINE_DIR/drives/t/progress-line"
rm -rf "$work" && mkdir -p "$work/sub/deeper"
head -c 3000 /dev/urandom > "$work/sub/one.bin"
head -c 70000 /dev/urandom > "$work/sub/two.bin"
head -c 2000 /dev/urandom > "$work/sub/deeper/three.bin"
out="$VELUDISK_WINE_DIR/progress-line.out"
cd "$build"  # X: in the prefix, so Wine finds a working directory
fail=0
check() { if ! eval "$2"; then echo "FAILED: $1" >&2; fail=1; fi; }

script -qfec "$WINELOADER 'X:\\src\\velscan.exe' 'T:\\progress-line'" /dev/null > "$out" || true
check "the line on a terminal" 'grep -q "已检查 3 个文件，发现 0 个威胁" "$out"'
check "the summary on a terminal" 'grep -qE "已检查文件 +3([^0-9]|$)" "$out"'

script -qfec "$WINELOADER 'X:\\src\\velscan.exe' --quiet 'T:\\progress-line'" /dev/null > "$out" || true
check "--quiet silences it" '! grep -q "已检查 3 个文件" "$out" && grep -qE "已检查文件 +3([^0-9]|$)" "$out"'

status=0
"$WINELOADER" 'X:\src\velscan.exe' 'T:\progress-line' > "$out" 2> "$out.err" || status=$?
check "exit code 0 in a pipe (was $status)" '[ "$status" = 0 ]'
check "nothing on stderr in a pipe" '[ ! -s "$out.err" ]'
check "the summary in a pipe" 'iconv -f GBK -t UTF-8 "$out" | grep -qE "已检查文件 +3([^0-9]|$)"'

[ "$fail" = 0 ] && rm -rf "$work" "$out" "$out.err"
[ "$fail" = 0 ] && echo "progress line: terminal, --quiet and pipe as expected"
exit "$fail"
