# Sourced: sets up the environment of the test Wine prefix for build folder $1 and word size $2 (32 or 64).
# The prefix lives in the build folder; nothing here touches the user's own ~/.wine.
VELUDISK_WINE_BUILD=$(cd "$1" && pwd)
VELUDISK_WINE_BITS=$2
export WINEPREFIX="$VELUDISK_WINE_BUILD/wine/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# The product targets Simplified-Chinese Windows: ANSI code page 936.
export LC_ALL=zh_CN.UTF-8
# Windows need a display: the prefix's own Xvfb server, on the free display it chose (tests/wine/prefix.sh).
if [ -s "$VELUDISK_WINE_BUILD/wine/display" ]; then
  export DISPLAY=":$(cat "$VELUDISK_WINE_BUILD/wine/display")"
fi
if [ "$VELUDISK_WINE_BITS" = 64 ]; then
  export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
else
  export WINEARCH=win32 WINELOADER=/usr/lib/wine/wine WINESERVER=/usr/lib/wine/wineserver32
fi
