#!/bin/sh
# Render times of the layer styles beside their reference, measured in one run:
# decoding and encoding a 24-megapixel JPEG with libjpeg-turbo (djpeg, then
# cjpeg -quality 80). Reports medians of wall and CPU time and the ratios.
#   usage: bench/styles-vs-jpeg.sh [styles_bench] [repetitions]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
bench=${1:-$root/build/bench/bench/styles_bench}
reps=${2:-5}
photo=$root/../shared/testdata/photos/apple_iphone5_gps_orient3.jpg
[ -x "$bench" ] || { echo "build it first: cmake --preset bench && ninja -C build/bench styles_bench" >&2; exit 1; }
[ -f "$photo" ] || { echo "missing $photo" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# 3264 x 2448 scaled by 14/8: 5712 x 4284, 24.5 megapixels
djpeg -scale 14/8 "$photo" | cjpeg -quality 90 > "$work/big.jpg"

: > "$work/jpeg.txt"
i=0
while [ $i -lt "$reps" ]; do
  /usr/bin/time -f "%e %U %S" -a -o "$work/jpeg.txt" sh -c \
    "djpeg '$work/big.jpg' > '$work/big.ppm' && cjpeg -quality 80 '$work/big.ppm' > '$work/out.jpg'"
  i=$((i + 1))
done
"$bench" --benchmark_repetitions="$reps" --benchmark_filter='AllFour|Glow50' \
  --benchmark_format=json > "$work/styles.json" 2>/dev/null

python3 - "$work/jpeg.txt" "$work/styles.json" <<'PY'
import json, statistics, sys
rows = [list(map(float, l.split())) for l in open(sys.argv[1]) if l.strip() and l[0].isdigit()]
jwall = statistics.median(r[0] for r in rows)
jcpu = statistics.median(r[1] + r[2] for r in rows)
print(f"JPEG 24 MP decode+encode: wall {jwall*1000:.0f} ms, cpu {jcpu*1000:.0f} ms (median of {len(rows)})")
for b in json.load(open(sys.argv[2]))["benchmarks"]:
    if b.get("aggregate_name") != "median":
        continue
    scale = {"ms": 1e-3, "us": 1e-6, "ns": 1e-9}[b["time_unit"]]
    wall, cpu = b["real_time"] * scale, b["cpu_time"] * scale
    print(f"{b['run_name']}: wall {wall*1000:.1f} ms ({wall/jwall:.1%} of JPEG), "
          f"cpu {cpu*1000:.1f} ms ({cpu/jcpu:.1%} of JPEG)")
PY
