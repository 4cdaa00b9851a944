#!/usr/bin/env bash
# Installs the Debian 12 packages Cartulo needs to build, run and test. Safe to run again:
# it asks apt only for what is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev libgl-dev
  libsqlite3-dev
  libpq-dev postgresql
  libjpeg62-turbo-dev libjpeg-turbo-progs libturbojpeg0-dev
  libsane-dev libsane1 sane-utils
  libbenchmark-dev
  libqpdf-dev libpoppler-qt6-dev
  poppler-utils qpdf img2pdf
  sqlite3
  fonts-dejavu-core
  libtesseract-dev tesseract-ocr-por tesseract-ocr
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
