#!/usr/bin/env bash
# Installs what is missing, builds, and runs tarvex with the given arguments.
#   ./run.sh --help
#   ./run.sh demo        runs a sample batch into demo-output/
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target tarvex >/dev/null

if [[ "${1:-}" == demo ]]; then
  shift
  exec ./scripts/demo.sh "$@"
fi
exec ./build/default/bin/tarvex "$@"
