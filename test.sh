#!/usr/bin/env bash
# Installs what is missing, builds with the default preset and runs every test.
#   ./test.sh            release build with tests (preset "default")
#   ./test.sh asan       the same under AddressSanitizer + UndefinedBehaviorSanitizer
#   ./test.sh tsan       the same under ThreadSanitizer
set -euo pipefail
cd "$(dirname "$0")"
preset=${1:-default}

./scripts/install-deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
ctest --preset "$preset" -j "$(nproc)"
