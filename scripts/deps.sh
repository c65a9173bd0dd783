#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the fuzzers need.
set -euo pipefail
packages=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev
          libbenchmark-dev libjpeg62-turbo-dev qt6-base-dev libgl-dev pkg-config
          libpng-dev libwebp-dev libtiff-dev libheif-dev libexif-dev
          libcli11-dev nlohmann-json3-dev librsvg2-bin dpkg-dev
          desktop-file-utils appstream groff-base)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
fi
