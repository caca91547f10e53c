#!/usr/bin/env bash
# A headless run over 24-megapixel JPEGs with --jobs 2 against --jobs 1 and
# against two djpeg | cjpeg -quality 80 processes splitting the same files,
# interleaved repetitions, medians; and the peak memory of every tarvex run
# against (N + 1) decoded pictures + 64 MB. Say how loaded the machine was: the
# load average is printed before and after.
# Usage: bench/parallel.sh [files] [repetitions] [watermark.tvx]
#   (default 8 files, 5 repetitions, the sample Copyright.tvx)
#   IDLE=95 bench/parallel.sh ...   on a shared machine: each repetition waits
#   until the cores have been at least 95 % idle for a second
set -euo pipefail
cd "$(dirname "$0")/.."
files="${1:-8}"
reps="${2:-5}"
width=6000 height=4000

./scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j2 --target tarvex >/dev/null
cmake --preset bench >/dev/null
cmake --build --preset bench -j2 --target make_photo >/dev/null
bin=build/default/bin
mark="${3:-$bin/Sample Watermarks/Copyright.tvx}"
[[ -f "$mark" ]] || { echo "missing $mark (the sample watermarks are built with tarvex)" >&2; exit 1; }

work=$(mktemp -d /dev/shm/tarvex-parallel-XXXXXX 2>/dev/null || mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in" "$work/h1" "$work/h2" "$work/out"
for ((i = 1; i <= files; i++)); do
  build/bench/bench/make_photo "$width" "$height" "$i" | cjpeg -quality 90 > "$work/in/photo$i.jpg"
  ln "$work/in/photo$i.jpg" "$work/h$((i % 2 + 1))/photo$i.jpg"
done
cat > "$work/bench.config" <<CFG
[WatermarkingOptions]
PlaceInSourceFolder=0
DestFolder=$work/out/
OverwriteExisting=2
JPEGQuality=80
KeepOriginalFormat=1
CFG

run_tarvex() {  # run_tarvex JOBS
  rm -f "$work"/out/*
  /usr/bin/time -f "%e %M %U %S" -o "$work/time" "$bin/tarvex" --no-gui --config "$work/bench.config" --jobs "$1" \
    -w "$mark" -r -s -q -a "$work/in/*.jpg" 2>/dev/null
  cat "$work/time"
}
floor_half() {
  for f in "$1"/*.jpg; do djpeg "$f" | cjpeg -quality 80 > "$work/out/$(basename "$f")"; done
}
export -f floor_half
export work
run_floor2() {  # two processes, each over half of the files
  rm -f "$work"/out/*
  /usr/bin/time -f "%e 0 %U %S" -o "$work/time" bash -c 'floor_half "$1/h1" & floor_half "$1/h2" & wait' _ "$work"
  cat "$work/time"
}

idle_percent() {  # over one second, from /proc/stat
  local u n s i w q sq st t1 i1
  read -r _ u n s i w q sq st _ < /proc/stat
  t1=$((u + n + s + i + w + q + sq + st)) i1=$((i + w))
  sleep 1
  read -r _ u n s i w q sq st _ < /proc/stat
  echo $((100 * (i + w - i1) / (u + n + s + i + w + q + sq + st - t1)))
}

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores" >&2
# Another program's load shows as fewer cores busy than the runs could use;
# "cores busy" below (processor time over wall time) tells the two apart.
: > "$work/results"
for ((r = 1; r <= reps; r++)); do
  if [[ -n ${IDLE:-} ]]; then
    while (($(idle_percent) < IDLE)); do sleep 2; done
  fi
  echo "jobs1 $(run_tarvex 1)" >> "$work/results"
  echo "jobs2 $(run_tarvex 2)" >> "$work/results"
  echo "floor2 $(run_floor2)" >> "$work/results"
  echo "  repetition $r: $(tail -3 "$work/results" | tr '\n' ' ')" >&2
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)" >&2

python3 - "$work/results" "$files" "$width" "$height" <<'PY'
import statistics, sys
rows = [l.split() for l in open(sys.argv[1])]
files, w, h = int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
t = {k: [float(r[1]) for r in rows if r[0] == k] for k in ("jobs1", "jobs2", "floor2")}
mem = {k: max(int(r[2]) for r in rows if r[0] == k) / 1024 for k in ("jobs1", "jobs2")}
cpu = {k: statistics.median(float(r[3]) + float(r[4]) for r in rows if r[0] == k) for k in t}
m = {k: statistics.median(v) for k, v in t.items()}
picture = w * h * 4 / 2**20
print(f"{files} files of {w} x {h}, {len(t['jobs1'])} repetitions each, interleaved; medians (min-max)")
for k, label in (("jobs1", "tarvex --jobs 1"), ("jobs2", "tarvex --jobs 2"), ("floor2", "2 x djpeg | cjpeg -q 80")):
    print(f"  {label:26s} {m[k]:7.2f} s  ({min(t[k]):.2f}-{max(t[k]):.2f})  {files / m[k]:.2f} img/s, "
          f"processor time {cpu[k]:.2f} s, {cpu[k] / m[k]:.2f} cores busy")
print(f"  throughput --jobs 2 / --jobs 1      {m['jobs1'] / m['jobs2']:.2f} x   (goal at least 1.8)")
print(f"  time --jobs 2 / two floor processes {m['jobs2'] / m['floor2']:.2f} x   (goal at most 1.1)")
for n, k in ((1, "jobs1"), (2, "jobs2")):
    bound = (n + 1) * picture + 64
    print(f"  peak memory --jobs {n}: {mem[k]:6.1f} MiB (bound (N + 1) x {picture:.1f} + 64 = {bound:.1f} MiB)")
PY
