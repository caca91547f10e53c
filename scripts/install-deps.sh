#!/usr/bin/env bash
# Installs the Debian 12 packages Tarvex needs to build, test and benchmark.
# Idempotent: only missing packages are installed, and the package lists are
# refreshed only when something has to be installed.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  # test and benchmark frameworks
  libgtest-dev libgmock-dev libbenchmark-dev
  # picture codecs and EXIF (the standard plug-in)
  libjpeg62-turbo-dev libpng-dev libtiff-dev libgif-dev libexif-dev
  # the modern-formats plug-in: WebP (with mux and demux), AVIF, HEIF (its
  # Debian build decodes HEVC with libde265 and encodes with x265), JPEG XL
  libwebp-dev libavif-dev libheif-dev libjxl-dev
  # text rendering
  libfreetype-dev libharfbuzz-dev libfontconfig-dev fonts-dejavu-core
  # a small CJK font, so the per-character font fallback is exercised by tests
  fonts-wqy-microhei
  # independent readers and reference tools used by tests and benchmarks
  libimage-exiftool-perl libjpeg-turbo-progs
  # the modern formats' own command-line tools (test pictures, benchmarks)
  webp libavif-bin libheif-examples libjxl-tools
  # GNU parallel: the shards test runs tarvex as a job runner would
  parallel
  # the windows (Qt 6 Widgets) and their offscreen test platform
  qt6-base-dev qt6-qpa-plugins libgl-dev
  # end-to-end tests of the windows: an X server, a window manager, the
  # accessibility bus and its Python client, input and screenshot tools
  xvfb openbox xdotool wmctrl x11-utils xclip imagemagick dbus dbus-x11
  at-spi2-core python3-pyatspi
  # desktop integration and packages: the icons rendered from their SVG, the
  # desktop files' validators, the package tools and lintian
  librsvg2-bin desktop-file-utils appstream libxml2-utils shared-mime-info man-db
  dpkg-dev fakeroot file lintian util-linux
)
if [[ "${TARVEX_BENCH_DEPS:-0}" == 1 ]]; then
  packages+=(libvips-tools)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "install-deps: installing ${missing[*]}" >&2
sudo=()
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "install-deps: need root or sudo to install ${missing[*]}" >&2; exit 1; }
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
