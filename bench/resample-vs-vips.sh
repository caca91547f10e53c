#!/usr/bin/env bash
# Lanczos downsizing of a 6000 x 4000 photo-like picture to 3000 x 2000, all
# four channels, ResampleBitmap against `vips resize --kernel lanczos3` on one
# thread, side by side in one run. Both work on uncompressed pixels: a raw
# block in memory for ResampleBitmap, a .v file (page-cached) for vips.
# The vips figure is the wall time of the whole command (start-up, mapping the
# .v file, writing the .v result); ours is the call alone.
#   bench/resample-vs-vips.sh [runs]      (default 7; medians and the ratio)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-7}
W=6000 H=4000 NW=3000 NH=2000

TARVEX_BENCH_DEPS=1 "$root/scripts/install-deps.sh"
command -v vips >/dev/null || { echo "vips not found" >&2; exit 1; }

cmake --preset bench -S "$root" >/dev/null
ninja -C "$root/build/bench" resample_once >/dev/null
tool="$root/build/bench/bench/resample_once"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$tool" write "$work/photo.raw" $W $H
# The raw bytes are B, G, R, A; vips sees four 8-bit bands with alpha last,
# which is all that matters for the cost of the filter.
vips rawload "$work/photo.raw" "$work/raw.v" $W $H 4
vips copy "$work/raw.v" "$work/photo.v" --interpretation srgb
rm "$work/raw.v"

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# The machine may be shared: wall time suffers from other processes, so
# processor time (user + system, all threads) is reported beside it.
export VIPS_CONCURRENCY=1
TIMEFORMAT='%R %U %S'
vw=() vc=() ow=() oc=()
for ((i = 0; i < runs; i++)); do
  # Alternate the two so that a change of machine load hits both alike.
  read -r real user sys < <({ time vips resize "$work/photo.v" "$work/out.v" 0.5 --kernel lanczos3; } 2>&1)
  vw+=("$real") vc+=("$(echo "$user + $sys" | bc -l)")
  read -r real proc < <("$tool" time "$work/photo.raw" $W $H $NW $NH 1)
  ow+=("$real") oc+=("$proc")
done
m() { printf '%s\n' "$@" | median; }
echo "vips resize --kernel lanczos3, VIPS_CONCURRENCY=1  wall: ${vw[*]}"
echo "                                                   cpu:  ${vc[*]}"
echo "ResampleBitmap (sfLanczos)                         wall: ${ow[*]}"
echo "                                                   cpu:  ${oc[*]}"
printf 'medians  wall: vips %.3f s, ours %.3f s, ratio ours/vips %.2f\n' "$(m "${vw[@]}")" "$(m "${ow[@]}")" \
  "$(echo "$(m "${ow[@]}") / $(m "${vw[@]}")" | bc -l)"
printf 'medians  cpu:  vips %.3f s, ours %.3f s, ratio ours/vips %.2f\n' "$(m "${vc[@]}")" "$(m "${oc[@]}")" \
  "$(echo "$(m "${oc[@]}") / $(m "${vc[@]}")" | bc -l)"
vipsheader "$work/out.v"
