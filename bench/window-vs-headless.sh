#!/usr/bin/env bash
# The watermarking run started from the window (tarvex with its windows on
# Qt's offscreen platform, "-r -s -q": the progress window, its event
# processing at every step) side by side with the headless run over the same
# 24-megapixel JPEGs; medians of interleaved repetitions. Each mode runs over
# all files and over the first two, so the cost per picture (the run) is told
# apart from the fixed cost of starting the program with or without windows.
# Usage: bench/window-vs-headless.sh [files] [repetitions]   (default 8 files, 5 repetitions)
set -euo pipefail
cd "$(dirname "$0")/.."
files="${1:-8}"
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
mkdir -p "$work/in" "$work/out" "$work/runtime" "$work/in2"
chmod 700 "$work/runtime"
for ((i = 1; i <= files; i++)); do
  build/bench/bench/make_photo "$width" "$height" "$i" | cjpeg -quality 90 > "$work/in/photo$i.jpg"
  ((i <= 2)) && cp "$work/in/photo$i.jpg" "$work/in2/"
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

run() {  # $1: window or headless, $2: the input folder
  local gui=(--no-gui)
  [[ $1 == window ]] && gui=()
  env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/runtime" \
    /usr/bin/time -f "%e %U %S" -o "$work/time" "$bin/tarvex" "${gui[@]}" --config "$work/bench.config" \
    -w "$mark" -r -s -q -a "$work/$2/*.jpg" >/dev/null 2>&1
  cat "$work/time"
}

: > "$work/results"
for ((r = 1; r <= reps; r++)); do
  for mode in window headless; do
    echo "$mode all $(run $mode in)" >> "$work/results"
    echo "$mode two $(run $mode in2)" >> "$work/results"
  done
done

python3 - "$work/results" "$files" "$width" "$height" <<'PY'
import statistics, sys
rows = [l.split() for l in open(sys.argv[1])]
files, w, h = int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
def med(mode, corpus, cpu=False):
    return statistics.median(float(r[3]) + float(r[4]) if cpu else float(r[2])
                             for r in rows if r[0] == mode and r[1] == corpus)
print(f"{files} files of {w} x {h} (and the first 2 of them), {sum(r[0] == 'window' and r[1] == 'all' for r in rows)} repetitions, interleaved")
per = {}
for mode in ("window", "headless"):
    per[mode] = (med(mode, "all") - med(mode, "two")) / (files - 2)
    print(f"  {mode:9s} all files {med(mode, 'all'):6.2f} s wall ({med(mode, 'all', True):6.2f} s processor), "
          f"two files {med(mode, 'two'):5.2f} s; per picture {per[mode] * 1000:6.1f} ms")
print(f"  ratio window / headless, per picture (the run)  {per['window'] / per['headless']:.3f} (goal at most 1.05)")
print(f"  ratio window / headless, whole process          {med('window', 'all') / med('headless', 'all'):.3f} "
      f"(starting with windows costs {(med('window', 'two') - med('headless', 'two')) * 1000:.0f} ms more)")
PY
