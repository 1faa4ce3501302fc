#!/usr/bin/env bash
# Installs everything Pelmora needs to build, run, test and benchmark on Debian 12.
# Works as root or as a user with sudo.
set -euo pipefail
if [ "$(id -u)" -eq 0 ]; then as_root=(); else as_root=(sudo); fi
packages=(
  cmake ninja-build g++ ccache pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev libqt6sql6-sqlite libxxhash-dev
  poppler-utils libpoppler-private-dev
  libtesseract-dev tesseract-ocr-eng tesseract-ocr-script-latn
  libmupdf-dev libjbig2dec0-dev libopenjp2-7-dev libharfbuzz-dev libmujs-dev libgumbo-dev libjpeg-dev
  zlib1g-dev mupdf-tools
  fonts-liberation fonts-dejavu-core
  xvfb xauth xdotool imagemagick
  libpsl-dev publicsuffix
  pdfgrep parallel ghostscript fonts-urw-base35
  texlive-latex-base-doc r-doc-pdf # real manuals: the engine benchmark, scripts/compare-engines.py
  clang libclang-rt-14-dev clang-format-14 clang-tidy-14
  libleptonica-dev scdoc bash-completion appstream desktop-file-utils
  openssh-server openssh-client rsync
  build-essential debhelper dpkg-dev lintian
)
export DEBIAN_FRONTEND=noninteractive
if ! dpkg-query -W -f='${Status}\n' "${packages[@]}" 2>/dev/null | grep -qv 'install ok installed' \
   && [ "$(dpkg-query -W -f='${Status}\n' "${packages[@]}" 2>/dev/null | wc -l)" -eq "${#packages[@]}" ]; then
  exit 0
fi
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${packages[@]}"
