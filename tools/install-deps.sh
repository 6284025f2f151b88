#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian 12 machine, or
# the packages named on the command line.
#   tools/install-deps.sh [PACKAGE...]
set -euo pipefail
packages=(cmake g++ make ccache pkg-config libblkid-dev libgtest-dev libbenchmark-dev gzip clang-14 libclang-rt-14-dev
  zlib1g-dev qt6-base-dev qt6-image-formats-plugins fonts-wqy-microhei sleuthkit python3 libewf-dev libvhdi-dev libvmdk-dev libqcow-dev
  libssl-dev libjpeg62-turbo-dev qt6-translations-l10n)
(($#)) && packages=("$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
