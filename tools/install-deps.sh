#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, if missing.
set -euo pipefail

PACKAGES=(build-essential cmake pkg-config clang libclang-rt-14-dev libgtest-dev libgmock-dev
          libbenchmark-dev libsndfile1-dev libsmf-dev libcairo2-dev libpango1.0-dev libpng-dev libx11-dev
          fontconfig fonts-dejavu-core xvfb xdotool x11-apps dpf-plugins-vst faketime)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
