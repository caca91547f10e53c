#!/usr/bin/env bash
# The long form of the fault-injection tests: every short case, then repeated
# SIGINT and SIGKILL runs on 24-megapixel pictures at many random moments, and
# the in-place kill -9 campaign (1000 runs with layers, 1000 with EXIF rewrites only).
#   tests/faults/run-long.sh                 defaults (--repeat 2 --kills 20 --kill-runs 1000)
#   tests/faults/run-long.sh --repeat 5 --kills 50 --seed 7
#   TVX_FAULTS_SEED=7 tests/faults/run-long.sh -k sigkill
# Uses the "default" preset's build (made here if needed). Takes minutes.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --preset default >/dev/null
ninja -C build/default -j2 tarvex kobalt tvx_faults_helper >/dev/null
exec python3 tests/faults/faults.py --long --repeat 2 --kills 20 \
  --tarvex build/default/bin/tarvex --helper build/default/tests/tvx_faults_helper \
  --plugins build/default/bin --testdata "${TARVEX_TESTDATA_DIR:-../shared/testdata}" "$@"
