#!/usr/bin/env bash
# A hostile stick under Wine: a folder link on U: that leads to a folder of C:, and shortcut worms aimed at the
# system's command interpreter and at a worm on the stick (tests/win/end_to_end_test.cpp, HostileStick):
#   hostile-stick.sh BUILD BITS WIN_TESTS_EXE
# The link is a Linux symbolic link, which Wine shows as a folder that is a reparse point.
set -euo pipefail
build=$(cd "$1" && pwd) bits=$2 exe=$3
here=$(cd "$(dirname "$0")" && pwd)
"$here/prefix.sh" ensure "$build" "$bits"
. "$here/wine-env.sh" "$build" "$bits"
stick="$VELUDISK_WINE_DIR/drives/u" target="$WINEPREFIX/drive_c/hostile-target"
cleanup() {
  find "$stick" -mindepth 1 -delete 2>/dev/null || true
  rm -rf "$target"
}
trap cleanup EXIT
cleanup
mkdir -p "$target"
ln -s "$target" "$stick/linked"
cd "$build"  # X: in the prefix
"$WINELOADER" "$exe" --gtest_filter='HostileStick.*'
