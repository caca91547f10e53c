#!/usr/bin/env python3
"""Turns the batches recorded by bench/peers.sh into its Markdown table.

usage: summarize.py RESULTS.tsv PICTURES_PER_BATCH
Each line of RESULTS.tsv: tool, job, mode (serial/parallel), batch, seconds,
max RSS in kB, output bytes, EXIF kept (yes/no), pictures written.
"""
import statistics
import sys
from collections import defaultdict

rows = [line.rstrip("\n").split("\t") for line in open(sys.argv[1]) if line.strip()]
total = int(sys.argv[2])
data = defaultdict(dict)  # (tool, job, mode) -> batch -> (seconds, rss, size, exif, written)
for tool, job, mode, batch, secs, rss, size, exif, n in rows:
    data[(tool, job, mode)][batch] = (float(secs), int(rss), int(size), exif, int(n))


def ips(key):
    v = [total / r[0] for r in data[key].values()]
    return statistics.median(v), min(v), max(v)


def vs_floor(key):
    # Each batch against the floor of the same batch (run minutes apart at
    # most), so that a load drifting over the run cancels out.
    floor = data.get(("floor", "-", key[2]), {})
    ratios = [floor[b][0] / r[0] for b, r in data[key].items() if b in floor]
    return statistics.median(ratios) if ratios else float("nan")


names = {"floor": "djpeg + cjpeg (floor)", "jpegtran": "jpegtran -copy all (no watermark)", "tarvex": "Tarvex",
         "tarvex2": "Tarvex, --jobs 2 (1 process)", "tarvex-kb": "Tarvex, keep JPEG blocks",
         "im1": "ImageMagick, 1 thread",
         "im": "ImageMagick", "gm": "GraphicsMagick", "vips": "libvips (vips CLI)"}
print("| job | tool | 1 process: img/s median (min–max) | × floor | 2 processes: img/s median (min–max) "
      "| × floor | peak RSS, 1 process | output | EXIF |")
print("|---|---|---|---|---|---|---|---|---|")
jobs = []
for (_, job, _) in data:
    if job not in jobs:
        jobs.append(job)
for job in jobs:
    for tool in names:
        if (tool, job, "serial") not in data:
            continue
        cells = [job if job != "-" else "(all)", names[tool]]
        for mode in ("serial", "parallel"):
            if (tool, job, mode) in data:
                med, lo, hi = ips((tool, job, mode))
                cells += [f"{med:.2f} ({lo:.2f}–{hi:.2f})", f"{vs_floor((tool, job, mode)):.2f}"]
            else:
                cells += ["–", "–"]
        runs = list(data[(tool, job, "serial")].values())
        rss = max(r[1] for r in runs) / 1024
        size = runs[-1][2] / 1e6
        missing = "" if runs[-1][4] == total else f" ({runs[-1][4]}/{total} written)"
        cells += [f"{rss:.0f} MB", f"{size:.1f} MB{missing}", runs[-1][3]]
        print("| " + " | ".join(cells) + " |")

# Tarvex's two workers in one process against the peers' best use of two
# cores: libvips with its own threads (one process per picture) and
# ImageMagick with two processes at once.
best = [("tarvex2", "serial", "Tarvex --jobs 2"), ("vips", "serial", "libvips, own threads"),
        ("im", "parallel", "ImageMagick, 2 processes"), ("floor", "parallel", "djpeg + cjpeg, 2 processes")]
if any(("tarvex2", job, "serial") in data for job in jobs):
    print()
    print("| job | " + " | ".join(label + ": img/s (× floor)" for _, _, label in best) + " |")
    print("|---|" + "---|" * len(best))
    for job in jobs:
        if job == "-" or ("tarvex2", job, "serial") not in data:
            continue
        cells = [job]
        for tool, mode, _ in best:
            key = (tool, "-" if tool == "floor" else job, mode)
            if key in data:
                cells.append(f"{ips(key)[0]:.2f} ({vs_floor(key):.2f})")
            else:
                cells.append("–")
        print("| " + " | ".join(cells) + " |")
