#!/usr/bin/env bash
# Builds the Debian packages tarvex and tarvex-cli with the "deb" presets
# (release build, Debian's hardening flags, prefix /usr) and checks them with
# lintian. The packages land in build/deb/packages/.
#   scripts/make-packages.sh           JOBS=2 scripts/make-packages.sh
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake --preset deb >/dev/null
cmake --build --preset deb -j "${JOBS:-$(nproc)}"
rm -f build/deb/packages/*.deb
cpack --preset deb
lintian --fail-on error,warning --info build/deb/packages/*.deb
ls -l build/deb/packages/*.deb
