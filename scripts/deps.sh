#!/usr/bin/env bash
# Installs the Debian packages the build needs, or those named as arguments,
# if any are missing (apt-get update first).
set -euo pipefail
packages=(cmake ninja-build g++ libgtest-dev libbenchmark-dev pkg-config binutils
  libpng-dev libcli11-dev nlohmann-json3-dev libvips-dev liblcms2-dev
  libpoppler-glib-dev libcairo2-dev libpaper-dev
  pybind11-dev python3-dev python3-numpy python3-pytest libhwy-dev)
(($#)) && packages=("$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}" >&2
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
