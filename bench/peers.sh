#!/usr/bin/env bash
# Tarvex beside its peers on four watermarking jobs, with libjpeg-turbo's plain
# decode + encode as the floor. Every tool reads the same photo-like JPEGs and
# writes JPEG quality 80 into a fresh folder; one process at a time, then two
# in parallel (the corpus split in halves). Prints one row per job and tool:
# images per second (median, min-max), speed relative to the floor (median
# of the per-batch ratios), peak memory (max RSS of one process), total output
# size and whether EXIF survived.
#
#   usage: bench/peers.sh [--quick] [--batches N] [--work DIR]
#                         [--tools "tarvex tarvex2 tarvex-kb jpegtran im1 im gm vips"] [--jobs "logo text tile resize+logo"]
#     --quick    2 x 24 MP + 4 x 6 MP pictures, one batch (for trying it out)
#     --batches  batches per mode (default 3; 1 with --quick)
#     --work     folder for the corpus and the outputs (default $TMPDIR/tarvex-peers);
#                the corpus is kept there and reused when it is complete
#     --tools    which tools to run (the floor always runs); tarvex is one worker
#                thread, tarvex2 one process with two (--jobs 2, whole corpus, so
#                it has no "2 processes" column); tarvex-kb is Tarvex (one worker) with
#                "Keep JPEG quality: re-encode only the watermarked blocks", jpegtran is
#                "jpegtran -copy all" (no watermark: the cost of coding every block anew)
#     --jobs     which jobs to run
#   environment: TARVEX_BUILD=build/bench (the build folder; it is configured
#   with the "bench" preset and tarvex + peers_marks are built with -j2).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
quick=0
batches=
work=${TMPDIR:-/tmp}/tarvex-peers
tools="tarvex tarvex2 tarvex-kb jpegtran im1 im gm vips"
jobs="logo text tile resize+logo"
while [[ $# -gt 0 ]]; do
  case $1 in
    --quick) quick=1 ;;
    --batches) batches=$2; shift ;;
    --work) work=$2; shift ;;
    --tools) tools=$2; shift ;;
    --jobs) jobs=$2; shift ;;
    -h|--help) sed -n '2,20p' "$0"; exit 0 ;;
    *) echo "peers.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
if [[ $quick == 1 ]]; then nbig=2; nsmall=4; batches=${batches:-1}; corpus=$work/corpus-quick
else nbig=10; nsmall=20; batches=${batches:-3}; corpus=$work/corpus; fi
BIG_W=6000 BIG_H=4000      # 24 megapixels
SMALL_W=3000 SMALL_H=2000  # 6 megapixels

# ---- tools -----------------------------------------------------------------
need=()
command -v convert-im6.q16 >/dev/null || [[ -x /usr/bin/convert ]] || need+=(imagemagick)
command -v gm >/dev/null || need+=(graphicsmagick)
command -v vips >/dev/null || need+=(libvips-tools)
command -v djpeg >/dev/null && command -v cjpeg >/dev/null || need+=(libjpeg-turbo-progs)
command -v exiftool >/dev/null || need+=(libimage-exiftool-perl)
[[ -x /usr/bin/time ]] || need+=(time)
command -v cmake >/dev/null && command -v ninja >/dev/null || need+=(cmake ninja-build)
if [[ ${#need[@]} -gt 0 ]]; then
  echo "peers.sh: installing ${need[*]}" >&2
  sudo=(); [[ $(id -u) -ne 0 ]] && sudo=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq "${need[@]}" >/dev/null
fi
"$root/scripts/install-deps.sh"
# The ImageMagick 6 binaries themselves, not whatever "convert" is first on PATH.
IM=$(command -v convert-im6.q16 || echo /usr/bin/convert)
IMCOMPOSITE=$(command -v composite-im6.q16 || echo /usr/bin/composite)
IMIDENTIFY=$(command -v identify-im6.q16 || echo /usr/bin/identify)

build=${TARVEX_BUILD:-$root/build/bench}
if [[ ! -f $build/build.ninja ]]; then (cd "$root" && cmake --preset bench >/dev/null); fi
ninja -C "$build" -j2 tarvex peers_marks >/dev/null
TARVEX=$build/bin/tarvex
MARKS=$build/bench/peers_marks

# ---- corpus ----------------------------------------------------------------
# Pictures p01.. (the 24 MP ones first) in all/, hard-linked into h1/ and h2/
# (alternating, so both halves hold the same mix) for the parallel runs.
mkdir -p "$work"
total=$((nbig + nsmall))
if [[ ! -f $corpus/complete ]]; then
  echo "peers.sh: drawing the corpus ($nbig x 24 MP + $nsmall x 6 MP) in $corpus" >&2
  rm -rf "$corpus"; mkdir -p "$corpus/all" "$corpus/h1" "$corpus/h2"
  for i in $(seq 1 $total); do
    name=$(printf 'p%02d.jpg' "$i")
    if [[ $i -le $nbig ]]; then w=$BIG_W h=$BIG_H; else w=$SMALL_W h=$SMALL_H; fi
    "$MARKS" --photo $w $h "$i" | cjpeg -quality 90 -optimize > "$corpus/all/$name"
  done
  # A small EXIF block like a camera's (before the links: exiftool writes new files).
  exiftool -q -overwrite_original -Make="Tarvex Bench" -Model="Synthetic 24" \
    -DateTimeOriginal="2026:06:01 12:00:00" -ExposureTime=1/250 -FNumber=8 -ISO=200 \
    -FocalLength=35 -Artist="Peers Benchmark" "$corpus/all"
  for i in $(seq 1 $total); do
    name=$(printf 'p%02d.jpg' "$i")
    [[ $((i % 2)) == 1 ]] && half=h1 || half=h2
    ln "$corpus/all/$name" "$corpus/$half/$name"
  done
  # The logo: 400 x 120 with transparent corners and a soft edge.
  "$IM" -size 400x120 xc:none -fill '#1e64c8' -draw 'roundrectangle 2,2 397,117 30,30' \
    -fill white -font DejaVu-Sans-Bold -pointsize 60 -gravity center -annotate +0+0 'TARVEX' \
    "$corpus/logo.png"
  touch "$corpus/complete"
fi
ls "$corpus/all"/*.jpg > /dev/null

# ---- watermarks and the peers' overlays --------------------------------------
# Tarvex gets .tvx files; the peers get the same overlays as ready pictures, made
# once like the .tvx files (none of them renders text with a soft shadow or
# tiles with gaps in one step on its own command line).
marks=$work/marks; rm -rf "$marks"; mkdir -p "$marks"
"$MARKS" "$marks" "$corpus/logo.png" "$build/bin" >/dev/null
"$IM" "$corpus/logo.png" -channel A -evaluate multiply 0.5 +channel "PNG32:$marks/logo50.png"
"$IM" -background none -fill white -font DejaVu-Sans -pointsize 64 label:'© 2026 Tarvex Benchmark' \
  \( +clone -background black -shadow 75x4+3+3 \) +swap -background none -layers merge +repage \
  "PNG32:$marks/text.png"
"$IM" -background none -fill white -font DejaVu-Sans-Bold -pointsize 48 label:'TARVEX PROOF' \
  -bordercolor none -border 60x45 -channel A -evaluate multiply 0.3 +channel "PNG32:$marks/tile.png"
read -r tilew tileh < <("$IMIDENTIFY" -format '%w %h\n' "$marks/tile.png")
for size in ${BIG_W}x${BIG_H} ${SMALL_W}x${SMALL_H}; do
  # vips composites two pictures: the tiled overlay at each picture size.
  w=${size%x*} h=${size#*x}
  vips replicate "$marks/tile.png" "$marks/tiles.v" $((w / tilew + 1)) $((h / tileh + 1))
  vips crop "$marks/tiles.v" "$marks/tile-$size.v" 0 0 "$w" "$h"
done
rm -f "$marks/tiles.v"
read -r textw texth < <("$IMIDENTIFY" -format '%w %h\n' "$marks/text.png")

config() {  # config FILE OUTDIR RESIZE [KEEPBLOCKS]
  cat > "$1" <<EOF
[WatermarkingOptions]
DestFolder=$2
PlaceInSourceFolder=0
AddWmSuffix=0
DefaultFileFormat=1
KeepOriginalFormat=1
JPEGQuality=80
OverwriteExisting=2
JpegKeepBlocks=${4:-0}
[ResizeOptions]
DoResize=$3
ResizePriority=0
ResizeMethod=1
Percentage=50
ApplyTo=2
EOF
}

# ---- one batch: run_list TOOL JOB OUTDIR FILES... ------------------------------
dims() {  # dims FILE -> "W H" of the corpus picture
  local n; n=$(basename "$1" .jpg); n=$((10#${n#p}))
  if [[ $n -le $nbig ]]; then echo "$BIG_W $BIG_H"; else echo "$SMALL_W $SMALL_H"; fi
}
run_list() {
  local tool=$1 job=$2 out=$3; shift 3
  local f b w h tmp=$out/.tmp$$
  case $tool in
    tarvex|tarvex2|tarvex-kb)
      local cfg=$out/.config$$ mark=logo resize=0 keep=0 workers=1
      [[ $tool == tarvex2 ]] && workers=2
      case $job in text) mark=text ;; tile) mark=tile ;; resize+logo) resize=1 ;; esac
      [[ $tool == tarvex-kb ]] && keep=1
      config "$cfg" "$out" "$resize" "$keep"
      local args=()
      for f in "$@"; do args+=(-a "$f"); done
      "$TARVEX" --no-gui --config "$cfg" -w "$marks/$mark.tvx" --jobs "$workers" -r -s -q "${args[@]}" \
        2>"$out/.log$$"
      return ;;
  esac
  for f in "$@"; do
    b=$(basename "$f"); read -r w h < <(dims "$f")
    case $tool in
      floor)
        djpeg "$f" > "$tmp.ppm" && cjpeg -quality 80 "$tmp.ppm" > "$out/$b" ;;
      jpegtran)
        jpegtran -copy all "$f" > "$out/$b" ;;
      im1|im)
        local lim=(); [[ $tool == im1 ]] && lim=(-limit thread 1)
        case $job in
          logo) "$IM" "${lim[@]}" "$f" "$marks/logo50.png" -gravity southeast -geometry +20+20 -composite -quality 80 "$out/$b" ;;
          text) "$IM" "${lim[@]}" "$f" "$marks/text.png" -gravity southwest -geometry +20+20 -composite -quality 80 "$out/$b" ;;
          tile) "$IMCOMPOSITE" "${lim[@]}" -tile "$marks/tile.png" "$f" -quality 80 "$out/$b" ;;
          resize+logo) "$IM" "${lim[@]}" "$f" -filter Lanczos -resize 50% "$marks/logo50.png" -gravity southeast \
                         -geometry +20+20 -composite -quality 80 "$out/$b" ;;
        esac ;;
      gm)
        case $job in
          logo) gm composite -gravity SouthEast -geometry +20+20 "$marks/logo50.png" "$f" -quality 80 "$out/$b" ;;
          text) gm composite -gravity SouthWest -geometry +20+20 "$marks/text.png" "$f" -quality 80 "$out/$b" ;;
          tile) gm composite -tile "$marks/tile.png" "$f" -quality 80 "$out/$b" ;;
          resize+logo) gm convert "$f" -filter Lanczos -resize 50% \
                         -draw "image Over $((w / 2 - 420)),$((h / 2 - 140)) 0,0 '$marks/logo50.png'" \
                         -quality 80 "$out/$b" ;;  # -draw ignores -gravity
        esac ;;
      vips)
        case $job in
          logo) vips composite2 "$f" "$marks/logo50.png" "$out/$b[Q=80]" over --x $((w - 420)) --y $((h - 140)) ;;
          text) vips composite2 "$f" "$marks/text.png" "$out/$b[Q=80]" over --x 20 --y $((h - texth - 20)) ;;
          tile) vips composite2 "$f" "$marks/tile-${w}x${h}.v" "$out/$b[Q=80]" over ;;
          resize+logo) vips resize "$f" "$tmp.v" 0.5 --kernel lanczos3 &&
                       vips composite2 "$tmp.v" "$marks/logo50.png" "$out/$b[Q=80]" over \
                         --x $((w / 2 - 420)) --y $((h / 2 - 140)) ;;
        esac ;;
    esac
  done
  rm -f "$tmp.ppm" "$tmp.v"
}
export -f run_list config dims
export IM IMCOMPOSITE TARVEX marks nbig BIG_W BIG_H SMALL_W SMALL_H textw texth

# ---- measuring ----------------------------------------------------------------
results=$work/results.tsv
: > "$results"
# measure TOOL JOB MODE BATCH: one batch, serial (whole corpus in one run) or
# parallel (the halves at once). Records seconds, max RSS of any one process
# (kB; for parallel the two halves' peaks added), output bytes, EXIF.
measure() {
  local tool=$1 job=$2 mode=$3 batch=$4
  local out=$work/out/$tool-$job-$mode
  rm -rf "$out"; mkdir -p "$out"
  local t0 t1 rss
  t0=$(date +%s.%N)
  if [[ $mode == serial ]]; then
    /usr/bin/time -f %M -o "$out/.rss1" bash -c 'run_list "$@"' _ "$tool" "$job" "$out" "$corpus"/all/*.jpg
  else
    /usr/bin/time -f %M -o "$out/.rss1" bash -c 'run_list "$@"' _ "$tool" "$job" "$out" "$corpus"/h1/*.jpg &
    local p1=$!
    /usr/bin/time -f %M -o "$out/.rss2" bash -c 'run_list "$@"' _ "$tool" "$job" "$out" "$corpus"/h2/*.jpg &
    wait $p1 $!
  fi
  t1=$(date +%s.%N)
  rss=$(cat "$out"/.rss* | awk '{s += $1} END {print s}')
  local n bytes exif
  n=$(ls "$out"/*.jpg 2>/dev/null | wc -l)
  bytes=$(du -cb "$out"/*.jpg 2>/dev/null | tail -1 | cut -f1)
  exif=$(exiftool -s3 -Make "$out/p01.jpg" 2>/dev/null || true)
  [[ $exif == "Tarvex Bench" ]] && exif=yes || exif=no
  if [[ $n -ne $total ]]; then echo "peers.sh: $tool $job $mode wrote $n of $total pictures" >&2; fi
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$tool" "$job" "$mode" "$batch" \
    "$(echo "$t1 - $t0" | bc)" "$rss" "${bytes:-0}" "$exif" "$n" >> "$results"
  printf '  %-6s %-11s %-8s batch %s: %6.2f s\n' "$tool" "$job" "$mode" "$batch" "$(echo "$t1 - $t0" | bc)" >&2
}
export corpus total work

echo "peers.sh: $total pictures, $batches batch(es) per mode, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)" >&2
for mode in serial parallel; do
  for batch in $(seq 1 "$batches"); do
    measure floor - "$mode" "$batch"
    [[ " $tools " == *" jpegtran "* ]] && measure jpegtran - "$mode" "$batch"
    for job in $jobs; do
      for tool in $tools; do
        [[ $tool == jpegtran ]] && continue
        # two workers in each of two processes would only fight over two cores
        [[ $tool == tarvex2 && $mode == parallel ]] && continue
        measure "$tool" "$job" "$mode" "$batch"
      done
    done
  done
done
echo "peers.sh: done, load $(cut -d' ' -f1-3 /proc/loadavg)" >&2

python3 "$root/bench/peers/summarize.py" "$results" "$total"
