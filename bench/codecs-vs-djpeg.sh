#!/usr/bin/env bash
# kobalt.fp against libjpeg-turbo's djpeg + cjpeg on a 24-megapixel JPEG in
# /dev/shm: LoadBitmap + SaveBitmap (quality 80) vs djpeg then cjpeg -quality
# 80, and LoadBitmapInfo vs LoadBitmap. Medians of interleaved repetitions.
# Usage: bench/codecs-vs-djpeg.sh [repetitions]   (default 7)
set -euo pipefail
cd "$(dirname "$0")/.."
reps="${1:-7}"
command -v djpeg >/dev/null && command -v cjpeg >/dev/null ||
  { echo "needs djpeg and cjpeg (libjpeg-turbo-progs)" >&2; exit 1; }
cmake --preset bench >/dev/null
ninja -C build/bench -j2 kobalt kobalt_codecs_bench >/dev/null
json="$(mktemp)"
trap 'rm -f "$json" /dev/shm/tarvex-bench-*' EXIT
build/bench/bench/kobalt_codecs_bench --benchmark_repetitions="$reps" \
  --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true \
  --benchmark_out="$json" --benchmark_out_format=json
python3 - "$json" <<'PY'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}
cpu, wall = {}, {}
for b in runs:
    if b.get("aggregate_name") != "median":
        continue
    name = b["run_name"].split("/")[0]
    cpu[name] = b["real_time"] * scale[b["time_unit"]]  # manual time = processor time
    wall[name] = b.get("wall_ms", float("nan"))
for label, t in (("processor time", cpu), ("wall time", wall)):
    plugin, tools = t["BM_PluginLoadSave"], t["BM_DjpegThenCjpeg"]
    load, info = t["BM_PluginLoadBitmap"], t["BM_PluginLoadBitmapInfo"]
    print(f"[{label}, medians]")
    print(f"  LoadBitmap+SaveBitmap q80 {plugin:8.1f} ms | djpeg+cjpeg -quality 80 {tools:8.1f} ms | ratio {plugin / tools:.3f} (limit 1.2)")
    print(f"  LoadBitmapInfo {info:8.3f} ms | LoadBitmap {load:8.1f} ms | ratio {100 * info / load:.3f} % (limit 2 %)")
PY
