#!/usr/bin/env bash
# "Keep JPEG quality: re-encode only the watermarked blocks" on 24-megapixel
# JPEGs, side by side on one core with libjpeg-turbo's floor (djpeg | cjpeg
# -quality 80, per picture), jpegtran -copy all (every block's coefficients
# coded anew, no watermark) and Tarvex's usual way, interleaved, medians.
# Two corpora: the standard Huffman tables (as cameras write them) and
# tables made for each picture (cjpeg -optimize). Two watermarks: the peers'
# corner logo, and their tiled text that covers the picture (which the path
# leaves to the usual way).
#
#   usage: bench/keepblocks-vs-djpeg.sh [--files N] [--reps N] [--cpu N] [--work DIR]
#     --files  24 MP pictures per corpus (default 4)
#     --reps   interleaved repetitions (default 5)
#     --cpu    the core every process is pinned to (default the last one)
#     --work   folder for corpus and outputs (default /dev/shm/tarvex-keepblocks)
#   environment: TARVEX_BUILD=build/bench (configured with the "bench" preset;
#   tarvex, peers_marks, make_photo and kobalt_blocks_bench are built with -j2).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
files=4
reps=5
cpu=$(($(nproc) - 1))
work=/dev/shm/tarvex-keepblocks
[[ -d /dev/shm ]] || work=${TMPDIR:-/tmp}/tarvex-keepblocks
while [[ $# -gt 0 ]]; do
  case $1 in
    --files) files=$2; shift ;;
    --reps) reps=$2; shift ;;
    --cpu) cpu=$2; shift ;;
    --work) work=$2; shift ;;
    -h|--help) sed -n '2,18p' "$0"; exit 0 ;;
    *) echo "keepblocks-vs-djpeg.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done

for tool in djpeg cjpeg jpegtran convert taskset; do
  command -v $tool >/dev/null || { echo "keepblocks-vs-djpeg.sh: $tool is missing (libjpeg-turbo-progs, imagemagick, util-linux)" >&2; exit 1; }
done
[[ -x /usr/bin/time ]] || { echo "keepblocks-vs-djpeg.sh: /usr/bin/time is missing (time)" >&2; exit 1; }
build=${TARVEX_BUILD:-$root/build/bench}
if [[ ! -f $build/build.ninja ]]; then (cd "$root" && cmake --preset bench >/dev/null); fi
ninja -C "$build" -j2 tarvex peers_marks make_photo kobalt_blocks_bench >/dev/null
TARVEX=$build/bin/tarvex

# ---- corpus and watermarks ---------------------------------------------------
mkdir -p "$work"
if [[ ! -f $work/complete-$files ]]; then
  rm -rf "$work"/std "$work"/opt "$work"/marks; mkdir -p "$work"/std "$work"/opt "$work"/marks
  for i in $(seq 1 "$files"); do
    "$build/bench/make_photo" 6000 4000 "$i" > "$work/photo.ppm"
    cjpeg -quality 90 "$work/photo.ppm" > "$work/std/p$i.jpg"
    cjpeg -quality 90 -optimize "$work/photo.ppm" > "$work/opt/p$i.jpg"
  done
  rm -f "$work/photo.ppm"
  convert -size 400x120 xc:none -fill '#1e64c8' -draw 'roundrectangle 2,2 397,117 30,30' \
    -fill white -font DejaVu-Sans-Bold -pointsize 60 -gravity center -annotate +0+0 'TARVEX' "$work/logo.png"
  "$build/bench/peers_marks" "$work/marks" "$work/logo.png" "$build/bin" >/dev/null
  touch "$work/complete-$files"
fi

config() {  # config OUTDIR KEEP
  cat > "$work/config-$2" <<EOF
[WatermarkingOptions]
DestFolder=$1
PlaceInSourceFolder=0
AddWmSuffix=0
KeepOriginalFormat=1
JPEGQuality=80
OverwriteExisting=2
JpegKeepBlocks=$2
EOF
}

# run NAME CORPUS: one batch pinned to the core; appends "name corpus wall cpu".
run() {
  local name=$1 corpus=$2 out=$work/out
  rm -rf "$out"; mkdir -p "$out"
  local command
  case $name in
    floor) command='for f in "$1"/*.jpg; do djpeg "$f" | cjpeg -quality 80 > "$2/$(basename "$f")"; done' ;;
    jpegtran) command='for f in "$1"/*.jpg; do jpegtran -copy all "$f" > "$2/$(basename "$f")"; done' ;;
    *)
      local keep=0 mark=logo
      [[ $name == kb-* ]] && keep=1
      [[ $name == *tile ]] && mark=tile
      config "$out" $keep
      command="'$TARVEX' --no-gui --jobs 1 --config '$work/config-$keep' -w '$work/marks/$mark.tvx' -r -s -q -a \"\$1/*.jpg\" 2>/dev/null" ;;
  esac
  /usr/bin/time -f "%e %U %S" -o "$work/time" taskset -c "$cpu" bash -c "$command" _ "$work/$corpus" "$out"
  read -r wall user sys < "$work/time"
  echo "$name $corpus $wall $(echo "$user + $sys" | bc)" >> "$work/results"
  [[ $(ls "$out"/*.jpg | wc -l) == "$files" ]] || echo "keepblocks-vs-djpeg.sh: $name wrote $(ls "$out" | wc -l) of $files" >&2
}

: > "$work/results"
names="floor jpegtran kb-logo usual-logo kb-tile usual-tile"
echo "keepblocks-vs-djpeg.sh: $files x 24 MP per corpus, $reps repetitions, core $cpu of $(nproc), load $(cut -d' ' -f1-3 /proc/loadavg)" >&2
for r in $(seq 1 "$reps"); do
  for corpus in std opt; do
    for name in $names; do run "$name" "$corpus"; done
  done
  echo "  repetition $r done, load $(cut -d' ' -f1-3 /proc/loadavg)" >&2
done

# The kept blocks' output size against the source's.
sizes=""
for corpus in std opt; do
  rm -rf "$work/out"; mkdir -p "$work/out"; config "$work/out" 1
  "$TARVEX" --no-gui --config "$work/config-1" -w "$work/marks/logo.tvx" -r -s -q -a "$work/$corpus/*.jpg" 2>/dev/null
  sizes+="$corpus $(du -cb "$work/$corpus"/*.jpg | tail -1 | cut -f1) $(du -cb "$work/out"/*.jpg | tail -1 | cut -f1)"$'\n'
done

python3 - "$work/results" "$files" "$sizes" <<'PY'
import statistics, sys
rows = [l.split() for l in open(sys.argv[1]) if l.strip()]
files = int(sys.argv[2])
sizes = {l.split()[0]: (int(l.split()[1]), int(l.split()[2])) for l in sys.argv[3].splitlines() if l.strip()}
label = {"floor": "djpeg | cjpeg -quality 80 (floor)", "jpegtran": "jpegtran -copy all",
         "kb-logo": "Tarvex, keep blocks, corner logo", "usual-logo": "Tarvex, usual way, corner logo",
         "kb-tile": "Tarvex, keep blocks, tiled text", "usual-tile": "Tarvex, usual way, tiled text"}
for corpus, title in (("std", "standard Huffman tables"), ("opt", "tables made for each picture")):
    print(f"\n{title} ({files} x 24 MP, ms per picture, medians; x floor = floor's time / this one's)")
    print(f"  {'':38} {'wall':>8} {'cpu':>8} {'x floor':>8}")
    med = {}
    for name in label:
        wall = [float(r[2]) for r in rows if r[0] == name and r[1] == corpus]
        cpu = [float(r[3]) for r in rows if r[0] == name and r[1] == corpus]
        if wall:
            med[name] = (statistics.median(wall) * 1000 / files, statistics.median(cpu) * 1000 / files)
    for name, (w, c) in med.items():
        print(f"  {label[name]:38} {w:8.1f} {c:8.1f} {med['floor'][0] / w:8.2f}")
    if corpus in sizes:
        a, b = sizes[corpus]
        print(f"  output of the kept blocks: {100.0 * (b - a) / a:+.2f} % against the sources")
PY

echo
echo "in memory, one picture (kobalt_blocks_bench, medians):"
taskset -c "$cpu" "$build/bench/kobalt_blocks_bench" --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true 2>/dev/null | grep -E "_median" | sed 's/^/  /'
echo "keepblocks-vs-djpeg.sh: done, load $(cut -d' ' -f1-3 /proc/loadavg)" >&2
