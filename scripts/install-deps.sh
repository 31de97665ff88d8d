#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need. Safe to re-run:
# it asks apt only for what is missing, and uses sudo when not run as root.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang lld libclang-rt-14-dev
  zlib1g-dev libjpeg62-turbo-dev
  libmpg123-dev             # MP3 sounds
  lame                      # MP3 files made by the tests only
  poppler-utils             # pdftoppm: the printing tests read printed PDF pages
  python3-pyftpdlib         # the FTP server of the loading tests only
  libpng-dev                # PNG images read by the authoring kit only
  qt6-base-dev qt6-qpa-plugins qt6-multimedia-dev
  libcurl4-openssl-dev libfreetype-dev libfontconfig-dev fonts-dejavu-core fonts-liberation2
  fonts-ipafont             # stands in for the Japanese device fonts
  libgtest-dev libgmock-dev libbenchmark-dev
  libcairo2-dev libagg-dev  # comparison libraries of the render benchmark only
  liblua5.4-dev             # comparison language of the script benchmark only
  libavcodec-dev libavformat-dev libswscale-dev libswresample-dev libavutil-dev  # video export
  pulseaudio pulseaudio-utils  # a null sink for the desktop sound test
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
