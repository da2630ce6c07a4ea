#!/usr/bin/env bash
# Runs the raw-volume reading tests against a real FAT32 image:
#   raw-volume-image.sh BUILD BITS WIN_TESTS_EXE
# The image is made with dosfstools and mtools, with the test file split in two runs of clusters. Wine shows
# drive G: as a folder holding the same file (so the program can find and lock it) and, through the "g::"
# device mapping, reads "\\.\G:" from the image. Wine knows neither the file system's name nor the file's
# clusters, so the test's layout double answers both: "FAT32", and the clusters mtools reports.
set -euo pipefail
build=$(cd "$1" && pwd) bits=$2 exe=$3
here=$(cd "$(dirname "$0")" && pwd)
"$here/prefix.sh" ensure "$build" "$bits"
. "$here/wine-env.sh" "$build" "$bits"
require_disk_standin
work="$VELUDISK_WINE_DIR/raw-volume"
rm -rf "$work" && mkdir -p "$work/g"
image="$work/fat32.img"
export MTOOLS_SKIP_CHECK=1

# 4 KiB clusters of 512-byte sectors, as Wine reports for its drives; enough clusters to be a true FAT32.
mkfs.fat -C -F 32 -S 512 -s 8 "$image" 270000 >/dev/null
head -c 12288 /dev/zero | tr '\0' 'a' > "$work/first"
head -c 8192 /dev/zero | tr '\0' 'b' > "$work/second"
python3 -c 'import sys; sys.stdout.buffer.write(bytes((i * 7 + i // 251) & 255 for i in range(20000)))' > "$work/g/LOCKED.BIN"
mcopy -i "$image" "$work/first" ::FIRST
mcopy -i "$image" "$work/second" ::SECOND
mdel -i "$image" ::FIRST
# Forget the next-free hint so the next file starts in the hole FIRST left: two runs of clusters.
fsinfo=$(od -An -tu2 -j48 -N2 "$image" | tr -d ' ')
printf '\xff\xff\xff\xff' | dd of="$image" bs=1 seek=$((fsinfo * 512 + 492)) conv=notrunc status=none
mcopy -i "$image" "$work/g/LOCKED.BIN" ::LOCKED.BIN
clusters=$(mshowfat -i "$image" ::LOCKED.BIN | sed -e 's/^[^<]*//' -e 's/[<>]//g' -e 's/  */,/g' -e 's/,$//')
echo "LOCKED.BIN clusters: $clusters"
case $clusters in *,*) ;; *) echo "the test file is not fragmented: $clusters" >&2; exit 1 ;; esac

devices="$WINEPREFIX/dosdevices"
cleanup() { rm -f "$devices/g:" "$devices/g::"; }
trap cleanup EXIT
ln -sfn "$work/g" "$devices/g:"
ln -sfn "$image" "$devices/g::"
export VELUDISK_RAW_CLUSTERS="$clusters" VELUDISK_RAW_FILE='G:\LOCKED.BIN'
export WINEDEBUG=-all
"$WINELOADER" "$exe" --gtest_filter='RawVolumeImage.*'
