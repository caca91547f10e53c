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
med = {b["run_name"]: b["real_time"] for b in runs if b.get("aggregate_name") == "median"}
unit = {b["run_name"]: b["time_unit"] for b in runs if b.get("aggregate_name") == "median"}
def ms(name):
    t = med[name]
    return t / 1e6 if unit[name] == "ns" else t / 1e3 if unit[name] == "us" else t
plugin, tools = ms("BM_PluginLoadSave"), ms("BM_DjpegThenCjpeg")
load, info = ms("BM_PluginLoadBitmap"), ms("BM_PluginLoadBitmapInfo")
print(f"LoadBitmap+SaveBitmap q80 : {plugin:8.1f} ms   djpeg+cjpeg q80: {tools:8.1f} ms   ratio {plugin / tools:.3f} (limit 1.2)")
print(f"LoadBitmapInfo            : {info:8.3f} ms   LoadBitmap     : {load:8.1f} ms   ratio {100 * info / load:.3f} % (limit 2 %)")
PY
