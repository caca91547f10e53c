#!/usr/bin/python3
"""End to end: files named on the command line, as the file manager's "Open
With" passes them, and a second start handing its files to the open window.

Usage (under a private session bus):
  dbus-run-session -- /usr/bin/python3 open_files.py --bin BUILD/bin [--keep] [-k CASE]
"""

import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop as d  # noqa: E402
import main_window as mw  # noqa: E402
from main_window import check, read_png_rgba, write_config  # noqa: E402


def rows(main):
    listing = d.find(main, "list", "Image List")
    return [n.name for n in d.find_all(listing, "list item")]


def find_picture(screen, expected):
    """Where the expected pixels stand on the screen, or None."""
    ph, pw = len(expected), len(expected[0])
    first = [p[:3] + (255,) for p in expected[0]]
    for oy in range(len(screen) - ph + 1):
        row = screen[oy]
        for ox in range(len(row) - pw + 1):
            if row[ox] == first[0] and row[ox:ox + pw] == first:
                if all(screen[oy + j][ox:ox + pw] == [p[:3] + (255,) for p in expected[j]] for j in range(ph)):
                    return ox, oy
    return None


def case_watermark_and_picture_then_a_second_start(c):
    """tarvex x.tvx a.jpg shows that watermark over a.jpg in one row; a second
    tarvex b.jpg adds a row to that window and exits."""
    made = os.path.join(c.root, "made")
    subprocess.run([os.path.join(c.prog, "tarvex_make_samples"), "--pictures", made], check=True)
    a = os.path.join(c.pics, "a.jpg")
    b = os.path.join(c.pics, "b.jpg")
    subprocess.run(["convert", os.path.join(made, "square-noon.jpg"), "-resize", "360x360", a], check=True)
    subprocess.run(["convert", os.path.join(made, "square-noon.jpg"), "-resize", "200x200", b], check=True)
    mark = os.path.join(c.root, "x.tvx")
    with open(os.path.join(c.prog, "Sample Watermarks", "Copyright.tvx"), "rb") as src, open(mark, "wb") as dst:
        dst.write(src.read())
    # What the run writes for a.jpg with that watermark, as PNG: the preview must show exactly this.
    out = os.path.join(c.root, "out")
    os.makedirs(out)
    write_config(c.config, {"GlobalOptions": {"FirstRun": 0},
                            "WatermarkingOptions": {"PlaceInSourceFolder": 0, "DestFolder": out + "/",
                                                    "KeepOriginalFormat": 0, "DefaultFileFormat": 3}})
    r = subprocess.run([c.tarvex, "--no-gui", "-r", "-s", "-q", mark, a], capture_output=True, text=True, cwd=c.root)
    check(r.returncode == 0, "headless run failed: %s" % r.stderr)
    expected = read_png_rgba(os.path.join(out, "a.png"))

    # Relative names, as a shell in the pictures' folder passes them.
    c.log = open(os.path.join(c.root, "tarvex.log"), "w")
    c.proc = subprocess.Popen([c.tarvex, "../x.tvx", "a.jpg"], env=c.desk.program_env(), stdout=c.log,
                              stderr=subprocess.STDOUT, cwd=c.pics)
    c.app = d.application()
    main = c.main_window()
    d.wait_for(lambda: rows(main) == [a], what="one row for a.jpg (rows: %r)" % rows(main))
    d.find(main, "label", "%d x %d" % (len(expected[0]), len(expected)))
    shot = os.path.join(c.root, "screen.png")
    found = None
    deadline = time.monotonic() + 10
    while found is None and time.monotonic() < deadline:
        time.sleep(0.3)  # the picture's pixels arrive from the loader
        c.desk.screenshot_root(shot)
        found = find_picture(read_png_rgba(shot), expected)
    check(found is not None, "the window does not show a.jpg with the watermark as the run writes it")

    second = subprocess.run([c.tarvex, "b.jpg"], env=c.desk.program_env(), capture_output=True, text=True,
                            cwd=c.pics, timeout=30)
    check(second.returncode == 0, "the second start exited with %d: %s" % (second.returncode, second.stderr))
    d.wait_for(lambda: rows(main) == [a, b], what="the row for b.jpg in the first window (rows: %r)" % rows(main))
    check(c.proc.poll() is None, "the first window went away")
    titles = [w.name for w in d.find_all(c.app, "frame") if d.showing(w)]
    check(titles.count("Tarvex 2.2") == 1, "main windows: %r" % titles)
    # the picture shown stays
    d.find(main, "label", "%d x %d" % (len(expected[0]), len(expected)))
    c.quit()


def case_batch_start_keeps_to_itself(c):
    """A start with -r -q runs in a window of its own and leaves the open window alone."""
    pics = c.pictures(("a.jpg",))
    out = os.path.join(c.root, "out")
    os.makedirs(out)
    write_config(c.config, {"GlobalOptions": {"FirstRun": 0},
                            "WatermarkingOptions": {"PlaceInSourceFolder": 0, "DestFolder": out + "/"}})
    c.start()
    main = c.main_window()
    mark = os.path.join(c.prog, "Sample Watermarks", "Copyright.tvx")
    batch = subprocess.run([c.tarvex, "-w", mark, "-r", "-s", "-q", "-a", pics[0]], env=c.desk.program_env(),
                           capture_output=True, text=True, timeout=60)
    check(batch.returncode == 0, "the batch start exited with %d: %s" % (batch.returncode, batch.stderr))
    check(os.listdir(out) == ["a.jpg"], "the batch wrote %r" % os.listdir(out))
    check(rows(main) == [], "the open window got rows: %r" % rows(main))
    c.quit()


CASES = [
    ("watermark_and_picture_then_a_second_start", case_watermark_and_picture_then_a_second_start),
    ("batch_start_keeps_to_itself", case_batch_start_keeps_to_itself),
]


def main():
    mw.ARGS = d.parse_args()
    return d.run_cases(CASES, mw.Case, mw.ARGS.only)


if __name__ == "__main__":
    sys.exit(main())
