#!/usr/bin/env bash
# modern.fp against the libraries' own command-line tools, side by side on the
# same 8-megapixel picture (a camera photo, as PNG) and the same settings,
# in /dev/shm: one process per conversion for both, repetitions interleaved,
# medians of wall time.
#   encode: PNG -> format at quality 80
#     cwebp -q 80 | avifenc -s 6 --min 12 --max 12 -j all (the plug-in's
#     quantizer for 80) | heif-enc -q 80 | cjxl -q 80 (distance 1.9)
#   decode: the tool-made file -> PPM (dwebp -ppm, djxl), PNG (avifdec -j all,
#     heif-convert); the plug-in writes the same kind of file.
# Two ratios: whole process against whole process (the plug-in side loads
# every plug-in with all its libraries first, 20-50 ms that a batch run pays
# once), and the plug-in's own LoadBitmap or SaveBitmap time inside the
# process against the tool's whole process.
#   (METADATA_ONLY=1 runs only the metadata part)
#   metadata: the run's metadata step after the save (CopyExif from the
#     camera JPEG and the four WriteExif, in one rewrite where one plug-in
#     serves both files: JPEG to JPEG), timed inside the process
#     (limit 2 % of a run's time), as a share
#     of (a) load + save + metadata alone, without any watermark (the
#     strictest reading), and (b) a real headless tarvex run over the same
#     picture with the "Copyright" sample watermark, into each format.
#   (WORK=/some/folder puts the work folder there instead of /dev/shm: on a
#   disk, the rewrites' fsync shows)
# Usage: bench/modern-vs-tools.sh [repetitions]   (default 5)
set -euo pipefail
cd "$(dirname "$0")/.."
reps="${1:-5}"
for tool in cwebp dwebp avifenc avifdec heif-enc heif-convert cjxl djxl; do
  command -v "$tool" >/dev/null || { echo "needs $tool (scripts/install-deps.sh)" >&2; exit 1; }
done
cmake --preset bench >/dev/null
ninja -C build/bench -j2 modern_transcode tarvex >/dev/null
work="${WORK:-/dev/shm}/tarvex-modern-bench"
rm -rf "$work" && mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
photo=../shared/testdata/photos/apple_iphone5_gps_orient3.jpg
[[ -f $photo ]] || { echo "needs $photo" >&2; exit 1; }
build/bench/bench/modern_transcode "$photo" "$work/source.png" >/dev/null
python3 - "$work" "$reps" "$photo" <<'PY'
import os, statistics, subprocess, sys, time
work, reps, photo = sys.argv[1], int(sys.argv[2]), sys.argv[3]
tool = "build/bench/bench/modern_transcode"
src = f"{work}/source.png"
def run(cmd):
    t = time.perf_counter()
    r = subprocess.run(cmd, check=True, capture_output=True, text=True)
    return (time.perf_counter() - t) * 1000, r.stdout
def ours(cmd, field):
    wall, out = run(cmd)
    words = out.split()  # "load X ms save Y ms metadata Z ms"
    return wall, float(words[words.index(field) + 1])
cases = {
  "webp": (["cwebp", "-quiet", "-q", "80", src, "-o", f"{work}/t.webp"], ["dwebp", f"{work}/t.webp", "-ppm", "-o", f"{work}/t.ppm"], "ppm"),
  "avif": (["avifenc", "-s", "6", "--min", "12", "--max", "12", "-j", "all", src, f"{work}/t.avif"], ["avifdec", "-j", "all", f"{work}/t.avif", f"{work}/t.png"], "png"),
  "heic": (["heif-enc", "-q", "80", src, "-o", f"{work}/t.heic"], ["heif-convert", f"{work}/t.heic", f"{work}/t.png"], "png"),
  "jxl":  (["cjxl", "-q", "80", src, f"{work}/t.jxl"], ["djxl", f"{work}/t.jxl", f"{work}/t.ppm"], "ppm"),
}
print(f"medians of {reps}, wall ms; limit 1.15")
print(f"{'format':6} {'step':7} {'tool':>9} {'plug-in process':>16} {'ratio':>6} {'in-process':>11} {'ratio':>6}")
for fmt, (enc, dec, out) in ({} if os.environ.get("METADATA_ONLY") else cases).items():
    te, pe, pei, td, pd, pdi = [], [], [], [], [], []
    for _ in range(reps):
        te.append(run(enc)[0])
        w, i = ours([tool, src, f"{work}/p.{fmt}", "80"], "save"); pe.append(w); pei.append(i)
        td.append(run(dec)[0])
        w, i = ours([tool, f"{work}/t.{fmt}", f"{work}/p.{out}"], "load"); pd.append(w); pdi.append(i)
    for step, t, p, i in (("encode", te, pe, pei), ("decode", td, pd, pdi)):
        a, b, c = statistics.median(t), statistics.median(p), statistics.median(i)
        print(f"{fmt:6} {step:7} {a:9.1f} {b:16.1f} {b / a:6.3f} {c:11.1f} {c / a:6.3f}")
print()
print("metadata (camera JPEG -> format: CopyExif + 4 x WriteExif as the run makes them), medians; limit 2 %:")
import os, shutil
mark = "build/bench/bin/Sample Watermarks/Copyright.tvx"
os.makedirs(f"{work}/in", exist_ok=True)
os.makedirs(f"{work}/out", exist_ok=True)
shutil.copy(photo, f"{work}/in/photo.jpg")
rows = ["BMP", "JPG", "TIF", "PNG", "GIF", "WEBP", "AVIF", "HEIC", "HEIF", "JXL"]
for fmt in ["jpg", "webp", "avif", "heic", "jxl"]:
    shares, meta, runs = [], [], []
    with open(f"{work}/bench.config", "w") as c:
        c.write(f"[WatermarkingOptions]\nPlaceInSourceFolder=0\nDestFolder={work}/out/\nOverwriteExisting=2\n"
                f"JPEGQuality=80\nKeepOriginalFormat=0\nDefaultFileFormat={rows.index(fmt.upper())}\n")
    for _ in range(reps):
        out = subprocess.run([tool, photo, f"{work}/m.{fmt}", "80", "--exif"], check=True, capture_output=True, text=True).stdout.split()
        load, save, m = float(out[1]), float(out[4]), float(out[7])
        meta.append(m); shares.append(100 * m / (load + save + m))
        runs.append(run(["build/bench/bin/tarvex", "--no-gui", "--config", f"{work}/bench.config", "-w", mark,
                         "-r", "-s", "-q", "-a", f"{work}/in/*.jpg"])[0])
    m, r = statistics.median(meta), statistics.median(runs)
    print(f"  {fmt:5} {m:6.1f} ms: {statistics.median(shares):5.2f} % of load+save+metadata, {100 * m / r:5.2f} % of a tarvex run ({r:.0f} ms)")
PY
