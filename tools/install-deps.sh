#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, if missing.
set -euo pipefail

PACKAGES=(build-essential cmake pkg-config clang libclang-rt-14-dev libgtest-dev libgmock-dev
          libbenchmark-dev libsndfile1-dev libsmf-dev libcairo2-dev libpango1.0-dev libpng-dev libx11-dev
          fontconfig fonts-dejavu-core xvfb xdotool x11-apps dpf-plugins-vst)
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
updated=no
install() {
  if [ "$updated" = no ]; then $SUDO apt-get update -qq || true; updated=yes; fi
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "$@"
}

missing=()
for p in "${PACKAGES[@]}"; do installed "$p" || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  install "${missing[@]}"
fi

# The demo needs only the Linux plug-in.
[ "${1:-}" = "--linux-only" ] && exit 0

# The Windows DLLs are cross-built and tested under wine. Neither is needed for the
# Linux plug-in, so a mirror that cannot deliver them only costs those builds and tests.
WINDOWS=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64 faketime)
missing=()
for p in "${WINDOWS[@]}"; do installed "$p" || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  install "${missing[@]}" || echo "install-deps: the Windows cross compilers or wine could not be installed; the Windows builds and tests are skipped" >&2
fi
# A mirror may serve an i386 index that no longer matches the size its Release file
# gives (seen with bookworm-security); apt then drops that index, cannot find i386
# libraries of the versions the amd64 ones already have, and refuses 32-bit wine. The
# index itself is sound: it is fetched as it is and put where apt keeps its lists, and
# every package it names is still checked against its hashes when downloaded.
repair_i386_indexes() {
  local url name tmp
  for url in $($SUDO apt-get update 2>&1 | grep -o 'Failed to fetch [^ ]*binary-i386/Packages\.xz' |
               sed 's/^Failed to fetch //' | sort -u); do
    name=$(printf '%s' "${url%.xz}" | sed -E 's|^[a-z]+://||; s|/|_|g')
    # apt's own helper fetches and unpacks it; xz itself may not be installed.
    tmp=$(mktemp --suffix=.xz)
    if /usr/lib/apt/apt-helper download-file "$url" "$tmp" >/dev/null 2>&1 &&
       /usr/lib/apt/apt-helper cat-file "$tmp" > "$tmp.txt" 2>/dev/null && grep -q '^Package: ' "$tmp.txt"; then
      echo "install-deps: using $url as the mirror serves it"
      $SUDO cp "$tmp.txt" "/var/lib/apt/lists/$name"
    fi
    rm -f "$tmp" "$tmp.txt"
  done
}

# 32-bit wine needs the i386 architecture. When its packages cannot be had (an i386
# index the mirror fails to deliver), the architecture is taken away again so that it
# does not break later updates.
if ! installed wine32:i386 && installed wine64; then
  added=no
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    added=yes
  fi
  echo "Installing: wine32:i386"
  updated=no
  if ! install wine32:i386 &&
     ! { repair_i386_indexes && DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq wine32:i386; }; then
    echo "install-deps: wine32 could not be installed; the 32-bit Windows DLL is built but not run" >&2
    if [ "$added" = yes ] && ! dpkg-query -W -f='${Package}:${Architecture}\n' 2>/dev/null | grep -q ':i386$'; then
      $SUDO dpkg --remove-architecture i386 || true
      $SUDO apt-get update -qq || true
    fi
  fi
fi
