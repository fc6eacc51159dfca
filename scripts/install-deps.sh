#!/usr/bin/env bash
# Installs, through apt-get, the Debian packages the build and the tests need and the
# machine lacks. Safe to run again: it does nothing when everything is there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  clang clang-format libclang-rt-14-dev
  qt6-base-dev qt6-svg-dev libgl-dev fonts-dejavu-core fonts-liberation2
  libjpeg62-turbo-dev libpng-dev libtiff-dev libgif-dev zlib1g-dev
  libgsf-1-dev libglib2.0-dev libwmf-dev libemf2svg-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth x11-utils imagemagick netpbm libtiff-tools fig2dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
