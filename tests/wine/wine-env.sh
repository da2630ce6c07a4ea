# Sourced: sets up the environment of the test Wine prefix for build folder $1 and kind $2:
#   32      a 32-bit prefix (the shipped i686 programs)
#   64      a 64-bit prefix (the x86-64 twin)
#   wow64   a 64-bit prefix running the 32-bit programs, as 64-bit Windows 7 runs them
# VELUDISK_WOW64=1 turns 32 into wow64, so that CTest's emulator runs the 32-bit tests in the WoW64 prefix.
# The prefix lives in the build folder; nothing here touches the user's own ~/.wine.
VELUDISK_WINE_BUILD=$(cd "$1" && pwd)
VELUDISK_WINE_BITS=$2
if [ "$VELUDISK_WINE_BITS" = 32 ] && [ "${VELUDISK_WOW64:-}" = 1 ]; then VELUDISK_WINE_BITS=wow64; fi
case "$VELUDISK_WINE_BITS" in
  32|64) VELUDISK_WINE_DIR="$VELUDISK_WINE_BUILD/wine" ;;
  wow64) VELUDISK_WINE_DIR="$VELUDISK_WINE_BUILD/wine-wow64" ;;
  *) echo "wine-env.sh: unknown prefix kind $VELUDISK_WINE_BITS (32, 64 or wow64)" >&2; return 2 ;;
esac
export VELUDISK_WINE_BUILD VELUDISK_WINE_BITS VELUDISK_WINE_DIR
export WINEPREFIX="$VELUDISK_WINE_DIR/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# The product targets Simplified-Chinese Windows: ANSI code page 936.
export LC_ALL=zh_CN.UTF-8
# Windows need a display: the prefix's own Xvfb server, on the free display it chose (tests/wine/prefix.sh).
if [ -s "$VELUDISK_WINE_DIR/display" ]; then
  export DISPLAY=":$(cat "$VELUDISK_WINE_DIR/display")"
fi
if [ "$VELUDISK_WINE_BITS" = 32 ]; then
  export WINEARCH=win32 WINELOADER=/usr/lib/wine/wine WINESERVER=/usr/lib/wine/wineserver32
else
  # The 64-bit loader hands a 32-bit program to the 32-bit one, in the same prefix.
  export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
fi

# Whether the prefix's first physical disk is its own image file: nothing may start in a prefix where
# "\\.\PhysicalDrive0" could reach this machine's disk (tests/wine/prefix.sh maps it).
disk_standin_ready() {
  local link="$WINEPREFIX/dosdevices/physicaldrive0" image="$WINEPREFIX/physicaldrive0.img"
  [ -L "$link" ] && [ "$(readlink "$link")" = "$image" ] && [ -f "$image" ] && [ ! -L "$image" ]
}
require_disk_standin() {
  disk_standin_ready && return 0
  echo "refused: $WINEPREFIX has no disk image of its own as its first physical disk (tests/wine/prefix.sh ensure)" >&2
  return 2
}
