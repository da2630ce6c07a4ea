#!/usr/bin/env bash
# Installs everything the build and the tests need on a Debian 12 machine.
# Idempotent: what is already there is left alone, so running it before every build costs a second.
set -euo pipefail

log() { printf 'setup: %s\n' "$*" >&2; }
as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

# step WHAT FIX COMMAND...: runs a step that can fail with its output kept aside; when it fails, says which
# step it was, shows the tool's own last lines and one line on what to fix, and ends the set-up.
step() {
  local what=$1 fix=$2; shift 2
  local out
  out=$(mktemp)
  if ! "$@" >"$out" 2>&1; then
    log "FAILED: $what"
    tail -n 20 "$out" | sed 's/^/setup:   | /' >&2
    rm -f "$out"
    log "to fix: $fix"
    exit 1
  fi
  rm -f "$out"
}

DEB_PACKAGES=(
  cmake make ninja-build pkg-config git python3 ca-certificates
  g++-mingw-w64-i686-posix g++-mingw-w64-i686-win32 binutils-mingw-w64-i686 mingw-w64-i686-dev
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  wine wine32:i386 wine64 xvfb
  googletest libgtest-dev
  clang libclang-rt-14-dev
  zlib1g-dev libssl-dev libz-mingw-w64-dev
  mtools attr syslinux-common dosfstools
  locales dpkg-dev
  chromium fonts-wqy-microhei
  rar
  tango-icon-theme
  python3-jsonschema
)

export DEBIAN_FRONTEND=noninteractive

# i386 for the 32-bit Wine loader.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  log "enabling the i386 architecture"
  as_root dpkg --add-architecture i386
  NEED_UPDATE=1
fi

# contrib/non-free and source lines: rar for fixtures, the UnRAR library source.
SOURCES=/etc/apt/sources.list.d/veludisk-nonfree.sources
if [ ! -f "$SOURCES" ]; then
  log "adding $SOURCES"
  as_root tee "$SOURCES" >/dev/null <<'SRC'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: contrib non-free
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main contrib non-free
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  NEED_UPDATE=1
fi

missing=()
for p in "${DEB_PACKAGES[@]}"; do
  name=${p%%:*}; arch=${p#*:}; [ "$arch" = "$p" ] && arch=""
  q=$name; [ -n "$arch" ] && q="$name:$arch"
  if ! dpkg-query -W -f='${Status}' "$q" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

# Node.js and npm for the page's tests: Debian's, unless the machine already has a node and npm of its own.
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  missing+=(nodejs npm)
fi

if [ ${#missing[@]} -gt 0 ]; then
  if [ -n "${NEED_UPDATE:-}" ] || [ -z "$(ls -A /var/lib/apt/lists 2>/dev/null | grep -v lock)" ] || \
     ! apt-cache policy wine32:i386 2>/dev/null | grep -q 'Candidate: [0-9]'; then
    log "apt-get update"
    step "apt-get update" "make the Debian package mirrors reachable (network, proxy, /etc/apt/sources.list.d), then run this again" \
      as_root apt-get update -qq
  fi
  log "installing: ${missing[*]}"
  step "apt-get install ${missing[*]}" "install those Debian packages by hand, or make the mirrors reachable, then run this again" \
    as_root apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Chinese file names under Wine need the Linux-side locale.
if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
  log "generating zh_CN.UTF-8"
  step "generating the zh_CN.UTF-8 locale" "install Debian's locales package and run: localedef -i zh_CN -f UTF-8 zh_CN.UTF-8" \
    as_root localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi

ROOT=$(cd "$(dirname "$0")/.." && pwd)

# Source of the UnRAR library, cross-compiled into the archive library the program embeds.
UNRAR_SRC="$ROOT/build/deps/unrar"
if [ ! -f "$UNRAR_SRC/.fetched" ]; then
  log "fetching the UnRAR library source"
  rm -rf "$UNRAR_SRC"; mkdir -p "$UNRAR_SRC"
  step "apt-get source unrar-nonfree" "enable the deb-src lines of $SOURCES (contrib non-free) and run apt-get update" \
    bash -c 'cd "$1" && apt-get source -qq unrar-nonfree' _ "$UNRAR_SRC"
  touch "$UNRAR_SRC/.fetched"
fi

# npm packages of the page and its tests (no browser download).
if [ -f "$ROOT/package-lock.json" ] && \
   { [ ! -f "$ROOT/node_modules/.package-lock.json" ] || [ "$ROOT/package-lock.json" -nt "$ROOT/node_modules/.package-lock.json" ]; }; then
  log "npm ci"
  step "npm ci" "make the npm registry reachable (npm config get registry; proxy settings), then run this again" \
    bash -c 'cd "$1" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund' _ "$ROOT"
fi

log "ready"
