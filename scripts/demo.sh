#!/usr/bin/env bash
# Puts each sample watermark on a few pictures with a headless batch run.
#   ./run.sh demo                 (builds first, then runs this)
#   DEMO_OUTPUT=/tmp/d scripts/demo.sh
# Results: one folder per sample watermark under demo-output/ (or $DEMO_OUTPUT).
set -euo pipefail
cd "$(dirname "$0")/.."

bin=${TARVEX_BIN:-build/default/bin}
out=${DEMO_OUTPUT:-demo-output}
samples="$bin/Sample Watermarks"
for f in "$bin/tarvex" "$bin/tarvex_make_samples" "$samples/Copyright.tvx"; do
  if [[ ! -e "$f" ]]; then
    echo "demo: $f is missing; build first with ./run.sh demo (or cmake --build --preset default)" >&2
    exit 1
  fi
done

mkdir -p "$out"
out=$(cd "$out" && pwd)
input="$out/input"
rm -rf "$input"
mkdir -p "$input"
for watermark in "$samples"/*.tvx; do rm -rf "${out:?}/$(basename "$watermark" .tvx)"; done

# Synthetic landscapes of several sizes and orientations, with EXIF Make/Model.
"$bin/tarvex_make_samples" --pictures "$input"

# Two real camera photos, when the shared sample pictures are at hand, so the
# photo-information line shows real exposure values. They are copied into the
# output folder only, never into the repository.
for photos in ../shared/testdata/photos /work/shared/testdata/photos; do
  if [[ -d "$photos" ]]; then
    for name in canon_eos_rebel_t3i.jpg olympus_pen_e-p3.jpg; do
      if [[ -f "$photos/$name" ]]; then
        cp "$photos/$name" "$input/"
        chmod u+w "$input/$name"
      fi
    done
    break
  fi
done

config="$out/demo.config"
status=0
for watermark in "$samples"/*.tvx; do
  name=$(basename "$watermark" .tvx)
  dest="$out/$name"
  mkdir -p "$dest"
  # The headless run takes the stored output settings: another folder,
  # original format, replace what an earlier demo left there.
  cat > "$config" <<CONFIG
[WatermarkingOptions]
DestFolder=$dest
PlaceInSourceFolder=0
AddWmSuffix=1
KeepOriginalFormat=1
JPEGQuality=88
OverwriteExisting=2
RemoveOriginalFiles=0
AcceptDefaults=1
[ResizeOptions]
DoResize=0
CONFIG
  echo "== $name"
  if ! "$bin/tarvex" --no-gui --config "$config" -w "$watermark" -r -s -q -a "$input/*.jpg"; then
    status=1
  fi
  written=$(find "$dest" -maxdepth 1 -name '*.jpg' | wc -l)
  if (( written != $(find "$input" -maxdepth 1 -name '*.jpg' | wc -l) )); then
    echo "demo: only $written picture(s) in $dest" >&2
    status=1
  fi
done

echo
echo "Pictures:   $input"
echo "Results:    $out/<watermark name>/ (one folder per sample watermark)"
echo "Watermarks: $samples"
exit $status
