#!/usr/bin/env bash
# A headless watermarking run over 24-megapixel JPEGs with the sample
# copyright watermark, side by side with libjpeg-turbo's djpeg then
# cjpeg -quality 80 over the same files; medians of interleaved repetitions,
# and the peak memory of each tarvex run against one decoded picture.
# Usage: bench/headless-vs-djpeg.sh [files] [repetitions]   (default 4 files, 5 repetitions)
set -euo pipefail
cd "$(dirname "$0")/.."
files="${1:-4}"
reps="${2:-5}"
width=6000 height=4000

./scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target tarvex >/dev/null
cmake --preset bench >/dev/null
cmake --build --preset bench --target make_photo >/dev/null
bin=build/default/bin
mark="$bin/Sample Watermarks/Copyright.tvx"
[[ -f "$mark" ]] || { echo "missing $mark (the sample watermarks are built with tarvex)" >&2; exit 1; }

work=$(mktemp -d /dev/shm/tarvex-headless-XXXXXX 2>/dev/null || mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in" "$work/out-tarvex" "$work/out-floor"
for ((i = 1; i <= files; i++)); do
  build/bench/bench/make_photo "$width" "$height" "$i" | cjpeg -quality 90 > "$work/in/photo$i.jpg"
done
cat > "$work/bench.config" <<CFG
[WatermarkingOptions]
PlaceInSourceFolder=0
DestFolder=$work/out-tarvex/
OverwriteExisting=2
JPEGQuality=80
KeepOriginalFormat=1
CFG

run_tarvex() {
  /usr/bin/time -f "%e %M %U %S" -o "$work/time" "$bin/tarvex" --no-gui --config "$work/bench.config" \
    -w "$mark" -r -s -q -a "$work/in/*.jpg" 2>/dev/null
  cat "$work/time"
}
run_floor() {
  /usr/bin/time -f "%e %M %U %S" -o "$work/time" bash -c '
    for f in "$1"/in/*.jpg; do djpeg "$f" | cjpeg -quality 80 > "$1/out-floor/$(basename "$f")"; done' _ "$work"
  cat "$work/time"
}

: > "$work/results"
for ((r = 1; r <= reps; r++)); do
  echo "tarvex $(run_tarvex)" >> "$work/results"
  echo "floor $(run_floor)" >> "$work/results"
done

python3 - "$work/results" "$files" "$width" "$height" <<'PY'
import statistics, sys
rows = [l.split() for l in open(sys.argv[1])]
files, w, h = int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
t = [float(r[1]) for r in rows if r[0] == "tarvex"]
f = [float(r[1]) for r in rows if r[0] == "floor"]
tc = [float(r[3]) + float(r[4]) for r in rows if r[0] == "tarvex"]
fc = [float(r[3]) + float(r[4]) for r in rows if r[0] == "floor"]
mem = max(int(r[2]) for r in rows if r[0] == "tarvex") / 1024
picture = w * h * 4 / 2**20
print(f"{files} files of {w} x {h}, {len(t)} repetitions each, interleaved")
print(f"  tarvex (Copyright.tvx)      median {statistics.median(t):7.2f} s  (min {min(t):.2f}, max {max(t):.2f})")
print(f"  djpeg | cjpeg -quality 80   median {statistics.median(f):7.2f} s  (min {min(f):.2f}, max {max(f):.2f})")
print(f"  ratio tarvex / floor        {statistics.median(t) / statistics.median(f):.3f} wall, "
      f"{statistics.median(tc) / statistics.median(fc):.3f} processor time "
      f"({statistics.median(tc):.2f} s vs {statistics.median(fc):.2f} s; goal at most 1.25)")
print(f"  tarvex peak memory          {mem:7.1f} MiB = {mem / picture:.2f} x one decoded picture ({picture:.1f} MiB; goal at most 3)")
PY
