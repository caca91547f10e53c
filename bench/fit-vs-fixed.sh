#!/usr/bin/env bash
# What relative size and turning cost a headless run over 24-megapixel JPEGs:
# a text layer at 5 % of the shorter side turned by 30 degrees, side by side
# with the same text at the same size, fixed and unturned; medians of
# interleaved repetitions. The fitted layer is built once per worker and
# picture size, so the difference is that once and a larger bitmap to blend.
# Usage: bench/fit-vs-fixed.sh [files] [repetitions]   (default 6 files, 5 repetitions)
set -euo pipefail
cd "$(dirname "$0")/.."
files="${1:-6}"
reps="${2:-5}"
width=6000 height=4000

cmake --preset default >/dev/null
cmake --build --preset default --target tarvex kobalt >/dev/null
cmake --preset bench >/dev/null
cmake --build --preset bench --target make_photo make_fit_marks >/dev/null
bin=build/default/bin

work=$(mktemp -d /dev/shm/tarvex-fit-XXXXXX 2>/dev/null || mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in" "$work/out"
build/bench/bench/make_fit_marks "$work"
for ((i = 1; i <= files; i++)); do
  build/bench/bench/make_photo "$width" "$height" "$i" | cjpeg -quality 90 > "$work/in/photo$i.jpg"
done
cat > "$work/bench.config" <<CFG
[WatermarkingOptions]
PlaceInSourceFolder=0
DestFolder=$work/out/
OverwriteExisting=2
JPEGQuality=80
KeepOriginalFormat=1
CFG

run() {
  # nanoseconds: /usr/bin/time's hundredths are too coarse for a few percent
  local start end
  start=$(date +%s%N)
  "$bin/tarvex" --no-gui --config "$work/bench.config" -w "$work/$1.tvx" -r -s -q -a "$work/in/*.jpg" 2>/dev/null
  end=$(date +%s%N)
  echo "$1 $(((end - start) / 1000)).$(((end - start) % 1000))" | awk '{ printf "%s %.6f\n", $1, $2 / 1000000 }'
}

: > "$work/results"
for ((r = 1; r <= reps; r++)); do
  run fixed >> "$work/results"
  run fitted >> "$work/results"
done

python3 - "$work/results" "$files" <<'PY'
import statistics, sys
rows = [l.split() for l in open(sys.argv[1])]
fixed = statistics.median(float(r[1]) for r in rows if r[0] == "fixed")
fitted = statistics.median(float(r[1]) for r in rows if r[0] == "fitted")
print(f"{sys.argv[2]} pictures of 24 MP, medians: fixed {fixed:.3f} s, fitted and turned {fitted:.3f} s, "
      f"{(fitted / fixed - 1) * 100:+.1f} %")
PY
