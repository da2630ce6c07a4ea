#!/usr/bin/env bash
# Runs Windows tests that need a folder link in the test prefix:
#   folder-link.sh BUILD BITS WIN_TESTS_EXE GTEST_FILTER LINK TARGET [CLEAR]
# LINK and TARGET are paths in the prefix such as 'U:\linked' and 'C:\hostile-target'. The link is a Linux
# symbolic link, which Wine shows as a folder that is a reparse point, as Windows shows a junction. Before and
# after the run the link and the target go, and with CLEAR=1 everything else on the link's drive too (the test
# stick, never C:).
set -euo pipefail
build=$(cd "$1" && pwd) bits=$2 exe=$3 filter=$4 link=$5 target=$6 clear=${7:-0}
here=$(cd "$(dirname "$0")" && pwd)
"$here/prefix.sh" ensure "$build" "$bits"
. "$here/wine-env.sh" "$build" "$bits"
require_disk_standin
# 'X:\a\b' -> the Unix path behind the prefix's drive X:.
unix_path() {
  local letter=${1:0:1} rest=${1:3}
  printf '%s/%s' "$(readlink -f "$WINEPREFIX/dosdevices/${letter,,}:")" "${rest//\\//}"
}
link_path=$(unix_path "$link") target_path=$(unix_path "$target")
drive=$(dirname "$link_path")
case "$link" in [cC]:*) [ "$clear" = 1 ] && { echo "folder-link.sh: refusing to clear C:" >&2; exit 2; } ;; esac
cleanup() {
  rm -f "$link_path"
  rm -rf "$target_path"
  if [ "$clear" = 1 ]; then find "$drive" -mindepth 1 -delete 2>/dev/null || true; fi
}
trap cleanup EXIT
cleanup
mkdir -p "$target_path"
ln -s "$target_path" "$link_path"
cd "$build"  # X: in the prefix
"$WINELOADER" "$exe" --gtest_filter="$filter"
