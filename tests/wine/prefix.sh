#!/usr/bin/env bash
# The throwaway Wine prefix of a build folder.
#   prefix.sh fresh BUILD BITS    a new prefix from the build's template (made once, about 10 s)
#   prefix.sh ensure BUILD BITS   the same, only when there is no prefix yet
#   prefix.sh start BUILD BITS    a persistent wineserver and one warm-up call (each Wine start then costs
#                                 tens of milliseconds instead of seconds)
#   prefix.sh stop BUILD BITS     ends the wineserver and the display
# Windows are shown on a private Xvfb display, started with the prefix.
#   prefix.sh can-run BITS        exit 0 when this machine can run Wine programs of that word size (or wow64:
#                                 32-bit programs in a 64-bit prefix)
# BITS is 32, 64 or wow64 (tests/wine/wine-env.sh).
# Drives: C: the prefix's own; X: the build folder (typed CD-ROM, so no scan ever walks it); U: a removable
# test drive; T: a fixed test drive; E: a fixed drive that stays empty (an empty root lists no entry at all).
# Z: (the whole Linux root) is removed: a walk of all drives must never
# reach the host. "\\.\PhysicalDrive0" opens even in a fresh prefix and what it reaches is not clear: every
# prefix maps it to a disk image of its own (physicaldrive0.img beside its drive_c), so that the boot-record
# code reads and writes that file.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cmd=$1; shift

if [ "$cmd" = can-run ]; then
  bits=$1
  # Some hypervisors offer no 32-bit code segment; the 32-bit loader then fails with "Exec format error".
  case "$bits" in
    32) /usr/lib/wine/wine --version >/dev/null 2>&1 ;;
    64) /usr/lib/wine/wine64 --version >/dev/null 2>&1 ;;
    wow64) /usr/lib/wine/wine --version >/dev/null 2>&1 && /usr/lib/wine/wine64 --version >/dev/null 2>&1 ;;
    *) exit 2 ;;
  esac
  exit $?
fi

build=$1 bits=$2
. "$here/wine-env.sh" "$build" "$bits"
wine_dir="$VELUDISK_WINE_DIR"
template="$wine_dir/template"

wine_quiet() { "$WINELOADER" "$@" >/dev/null 2>&1; }

make_template() {
  rm -rf "$template" "$template.tmp"
  mkdir -p "$wine_dir/drives/u" "$wine_dir/drives/t" "$wine_dir/drives/e"
  WINEPREFIX="$template.tmp" "$WINELOADER" wineboot -i >/dev/null 2>&1
  WINEPREFIX="$template.tmp" "$WINESERVER" -w
  local dd="$template.tmp/dosdevices"
  rm -f "$dd/z:"
  ln -sfn "$VELUDISK_WINE_BUILD" "$dd/x:"
  ln -sfn "$wine_dir/drives/u" "$dd/u:"
  ln -sfn "$wine_dir/drives/t" "$dd/t:"
  ln -sfn "$wine_dir/drives/e" "$dd/e:"
  WINEPREFIX="$template.tmp" wine_quiet reg add 'HKLM\Software\Wine\Drives' /v x: /d cdrom /f
  WINEPREFIX="$template.tmp" wine_quiet reg add 'HKLM\Software\Wine\Drives' /v u: /d floppy /f
  WINEPREFIX="$template.tmp" wine_quiet reg add 'HKLM\Software\Wine\Drives' /v t: /d hd /f
  WINEPREFIX="$template.tmp" wine_quiet reg add 'HKLM\Software\Wine\Drives' /v e: /d hd /f
  # A crashing test ends instead of waiting in the debugger. Without a "Debugger" value Wine starts its own
  # ("winedbg --auto"), so the value names a program that does not exist: starting it fails at once and the
  # faulting process ends with its exception code. Both registry views, for 32- and 64-bit programs.
  local aedebug
  for aedebug in 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
                 'HKLM\Software\Wow6432Node\Microsoft\Windows NT\CurrentVersion\AeDebug'; do
    WINEPREFIX="$template.tmp" wine_quiet reg add "$aedebug" /v Debugger /d 'C:\no-debugger\none.exe %ld %ld' /f
    WINEPREFIX="$template.tmp" wine_quiet reg add "$aedebug" /v Auto /d 1 /f
  done
  # The project's programs take the prefix's "wintrust.dll" stand-in (install_trust_standin), everything else
  # Wine's own.
  local program
  for program in velscan.exe veludisk.exe velusbkill.exe win_tests.exe; do
    WINEPREFIX="$template.tmp" wine_quiet reg add "HKCU\\Software\\Wine\\AppDefaults\\$program\\DllOverrides" /v wintrust /d native /f
  done
  WINEPREFIX="$template.tmp" "$WINESERVER" -k 2>/dev/null || true
  WINEPREFIX="$template.tmp" "$WINESERVER" -w
  recipe > "$template.tmp/.recipe"
  mv "$template.tmp" "$template"
}

# The template is made again whenever this script (its recipe) changes.
recipe() { sha256sum < "$here/prefix.sh"; }
template_current() { [ -d "$template/drive_c" ] && [ "$(cat "$template/.recipe" 2>/dev/null)" = "$(recipe)" ]; }

display_up() {
  [ -s "$wine_dir/display" ] && [ -f "$wine_dir/xvfb.pid" ] && kill -0 "$(cat "$wine_dir/xvfb.pid")" 2>/dev/null &&
    [ -S "/tmp/.X11-unix/X$(cat "$wine_dir/display")" ]
}

# Xvfb picks a free display itself (-displayfd), so another X server on this machine never gets in the way.
ensure_display() {
  if ! display_up; then
    rm -f "$wine_dir/display" "$wine_dir/display.tmp"
    # fd 9 (the lock) is closed for the server, or it would hold the lock for as long as it runs.
    setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$wine_dir/display.tmp" 9>&- >/dev/null 2>&1 </dev/null &
    echo $! > "$wine_dir/xvfb.pid"
    for _ in $(seq 100); do
      if [ -s "$wine_dir/display.tmp" ]; then tr -dc 0-9 < "$wine_dir/display.tmp" > "$wine_dir/display"; break; fi
      sleep 0.1
    done
    display_up || { echo "prefix.sh: Xvfb did not start" >&2; return 1; }
  fi
  export DISPLAY=":$(cat "$wine_dir/display")"
}

stop_display() {
  if [ -f "$wine_dir/xvfb.pid" ]; then
    kill "$(cat "$wine_dir/xvfb.pid")" 2>/dev/null || true
  fi
  rm -f "$wine_dir/xvfb.pid" "$wine_dir/display" "$wine_dir/display.tmp"
}

# Wine's WinVerifyTrust trusts every file; the build's stand-in answers as Windows does (tests/win/wintrust_standin.c).
install_trust_standin() {
  local standin="$VELUDISK_WINE_BUILD/trust-standin/wintrust.dll" dir=system32
  [ "$VELUDISK_WINE_BITS" = wow64 ] && dir=syswow64
  local installed="$WINEPREFIX/drive_c/windows/$dir/wintrust.dll"
  if [ -f "$standin" ] && ! cmp -s "$standin" "$installed"; then cp "$standin" "$installed"; fi
  return 0
}

# The prefix's first physical disk: its own image file (tools/make_test_disk.py), made once per prefix.
install_disk_standin() {
  local image="$WINEPREFIX/physicaldrive0.img"
  [ -f "$image" ] || python3 "$here/../../tools/make_test_disk.py" "$image"
  ln -sfn "$image" "$WINEPREFIX/dosdevices/physicaldrive0"
}

fresh() {
  template_current || make_template
  "$WINESERVER" -k 2>/dev/null || true
  rm -rf "$WINEPREFIX" "$wine_dir/drives/u" "$wine_dir/drives/t" "$wine_dir/drives/e"
  mkdir -p "$wine_dir/drives/u" "$wine_dir/drives/t" "$wine_dir/drives/e"
  cp -a "$template" "$WINEPREFIX"
  install_trust_standin
  install_disk_standin
}

mkdir -p "$wine_dir"
exec 9>"$wine_dir/.lock"
case "$cmd" in
  fresh) flock 9; fresh ;;
  ensure) flock 9; [ -d "$WINEPREFIX/drive_c" ] || fresh; install_trust_standin; install_disk_standin; ensure_display ;;
  start)
    flock 9; [ -d "$WINEPREFIX/drive_c" ] || fresh
    install_trust_standin
    install_disk_standin
    ensure_display
    flock -u 9
    "$WINESERVER" -p
    wine_quiet cmd /c exit ;;
  stop) "$WINESERVER" -k 2>/dev/null || true; stop_display ;;
  *) echo "prefix.sh: unknown command $cmd" >&2; exit 2 ;;
esac
