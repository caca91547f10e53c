#!/usr/bin/env bash
# The watermarking run started from the window (tarvex with its windows on
# Qt's offscreen platform, "-r -s -q": the progress window, its event
# processing at every step) side by side with the headless run over the same
# 24-megapixel JPEGs; medians of interleaved repetitions.
# Usage: bench/window-vs-headless.sh [files] [repetitions]   (default 4 files, 5 repetitions)
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

work=$(mktemp -d /dev/shm/tarvex-window-XXXXXX 2>/dev/null || mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in" "$work/out" "$work/runtime"
chmod 700 "$work/runtime"
for ((i = 1; i <= files; i++)); do
  build/bench/bench/make_photo "$width" "$height" "$i" | cjpeg -quality 90 > "$work/in/photo$i.jpg"
done
cat > "$work/bench.config" <<CFG
[GlobalOptions]
FirstRun=0
[WatermarkingOptions]
PlaceInSourceFolder=0
DestFolder=$work/out/
OverwriteExisting=2
JPEGQuality=80
KeepOriginalFormat=1
CFG

run() {  # $1: window or headless
  local gui=(--no-gui)
  [[ $1 == window ]] && gui=()
  env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/runtime" \
    /usr/bin/time -f "%e %U %S" -o "$work/time" "$bin/tarvex" "${gui[@]}" --config "$work/bench.config" \
    -w "$mark" -r -s -q -a "$work/in/*.jpg" >/dev/null 2>&1
  cat "$work/time"
}

: > "$work/results"
for ((r = 1; r <= reps; r++)); do
  echo "window $(run window)" >> "$work/results"
  echo "headless $(run headless)" >> "$work/results"
done

python3 - "$work/results" "$files" "$width" "$height" <<'PY'
import statistics, sys
rows = [l.split() for l in open(sys.argv[1])]
files, w, h = int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
def med(kind, f):
    return statistics.median(f(r) for r in rows if r[0] == kind)
wall = lambda r: float(r[1])
cpu = lambda r: float(r[2]) + float(r[3])
print(f"{files} files of {w} x {h}, {sum(r[0] == 'window' for r in rows)} repetitions each, interleaved")
for kind in ("window", "headless"):
    print(f"  {kind:9s} median {med(kind, wall):6.2f} s wall, {med(kind, cpu):6.2f} s processor")
print(f"  ratio window / headless  {med('window', wall) / med('headless', wall):.3f} wall, "
      f"{med('window', cpu) / med('headless', cpu):.3f} processor (goal at most 1.05)")
PY
