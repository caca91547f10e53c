#!/usr/bin/python3
"""End to end: the real tarvex with its windows under Xvfb, driven and read
through the accessibility tree as assistive technology would.

Usage (under a private session bus):
  dbus-run-session -- /usr/bin/python3 main_window.py --bin BUILD/bin [--keep] [-k CASE]

Every case copies the program folder into a temporary folder (so ".config"
lands beside the program, as in a portable install), starts tarvex with its
arguments, talks to it and checks what it wrote.
"""

import configparser
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop as d  # noqa: E402

ARGS = None


def check(condition, message):
    if not condition:
        raise d.Failure(message)


def read_config(path):
    parser = configparser.ConfigParser(interpolation=None, strict=False)
    parser.optionxform = str
    if os.path.exists(path):
        with open(path, encoding="utf-8") as f:
            parser.read_string(f.read())
    return parser


def write_config(path, sections):
    with open(path, "w") as f:
        for section, values in sections.items():
            f.write("[%s]\n" % section)
            for k, v in values.items():
                f.write("%s=%s\n" % (k, v))


def read_png_rgba(path):
    """The pixels of an 8-bit RGB(A) PNG as rows of (r, g, b, a) tuples."""
    with open(path, "rb") as f:
        data = f.read()
    check(data[:8] == b"\x89PNG\r\n\x1a\n", "%s is not a PNG" % path)
    pos, idat, width = 8, b"", 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, ctype = struct.unpack(">IIBB", body[:10])
            check(depth == 8 and ctype in (2, 6), "unexpected PNG type %d/%d" % (depth, ctype))
            channels = 4 if ctype == 6 else 3
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, prev = [], bytearray(stride)
    for y in range(height):
        f = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):
            a = line[x - channels] if x >= channels else 0
            b = prev[x]
            c = prev[x - channels] if x >= channels else 0
            if f == 1: line[x] = (line[x] + a) & 255
            elif f == 2: line[x] = (line[x] + b) & 255
            elif f == 3: line[x] = (line[x] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        prev = line
        rows.append([tuple(line[i:i + channels]) + ((255,) if channels == 3 else ())
                     for i in range(0, stride, channels)])
    return rows


class Case:
    def __init__(self, desk, name):
        self.desk = desk
        self.name = name
        self.root = tempfile.mkdtemp(prefix="tvx-e2e-%s-" % name)
        self.prog = os.path.join(self.root, "program")
        shutil.copytree(ARGS.bin, self.prog, symlinks=True,
                        ignore=shutil.ignore_patterns(".config", ".styles", "*.log"))
        self.tarvex = os.path.join(self.prog, "tarvex")
        self.config = os.path.join(self.prog, ".config")
        self.pics = os.path.join(self.root, "pics")
        os.makedirs(self.pics)
        self.proc = None

    def pictures(self, names=("a.jpg", "b.jpg", "c.jpg")):
        made = os.path.join(self.root, "made")
        subprocess.run([os.path.join(self.prog, "tarvex_make_samples"), "--pictures", made], check=True)
        sources = sorted(os.listdir(made))
        for i, name in enumerate(names):
            shutil.copy(os.path.join(made, sources[i % len(sources)]), os.path.join(self.pics, name))
        return [os.path.join(self.pics, n) for n in names]

    def start(self, *args):
        self.log = open(os.path.join(self.root, "tarvex.log"), "w")
        self.proc = subprocess.Popen([self.tarvex] + list(args), env=self.desk.program_env(),
                                     stdout=self.log, stderr=subprocess.STDOUT, cwd=self.root)
        self.app = d.application()
        return self.app

    def main_window(self):
        return d.window(self.app, "Tarvex 2.2")

    def close_welcome(self):
        w = d.window(self.app, "Welcome")
        d.press(d.find(w, "push button", "Close"))
        d.window_gone(self.app, "Welcome")

    def menu(self, *path):
        d.menu_command(self.main_window(), *path)

    def button(self, window, name):
        d.click(d.find(window, "push button", name))

    def message(self, title, text=None, press="OK"):
        box = d.window(self.app, title)
        if text is not None:
            labels = [d.text_of(n) for n in d.find_all(box, "label")]
            check(any(text == l for l in labels), "%r shows %r, expected %r" % (title, labels, text))
        self.button(box, press)
        d.window_gone(self.app, title)
        return box

    def wait_exit(self, timeout=60):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise d.Failure("tarvex did not exit; its output:\n" + self.output())

    def output(self):
        self.log.flush()
        with open(os.path.join(self.root, "tarvex.log")) as f:
            return f.read()

    def quit(self):
        self.menu("File", "Quit")
        rc = self.wait_exit()
        check(rc == 0, "tarvex exited with %d:\n%s" % (rc, self.output()))

    def close(self):
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        if not ARGS.keep:
            shutil.rmtree(self.root, ignore_errors=True)


# ---- the cases ---------------------------------------------------------------------

def case_first_start_and_messages(c):
    """A first start shows the tour; the commands' messages; quitting stores FirstRun=0."""
    c.start()
    w = d.window(c.app, "Welcome")
    c.button(w, "Next >")
    c.close_welcome()
    main = c.main_window()
    bar = d.find(main, "menu bar", None)
    for title in ("File", "Edit", "Settings", "Help"):
        d.find(bar, "menu item", title)
    d.find(main, "list", "Image List")
    d.find(main, None, "Preview")
    c.button(main, "Protect")
    c.message("Watermarking", "There is nothing to watermark. Please add files to the Image List.")
    c.button(main, "Resize")
    c.message("Resizing", "There is nothing to resize. Please add files to the Image List.")
    c.button(main, "Save")
    c.message("Watermarking", "Watermark is empty. Please create watermark.")
    c.menu("Help", "Show Help")
    d.wait_for(lambda: any(l.endswith("help/welcome.htm") for l in c.desk.opened()), what="the help page")
    c.quit()
    config = read_config(c.config)
    check(config.get("GlobalOptions", "FirstRun", fallback=None) == "0", "FirstRun is not 0 after quitting")


def case_empty_watermark(c):
    pics = c.pictures(("a.jpg",))
    write_config(c.config, {"GlobalOptions": {"FirstRun": 0}})
    c.start("-a", os.path.join(c.pics, "*.jpg"))
    main = c.main_window()
    c.button(main, "Protect")
    c.message("Watermarking", "Watermark is empty. Please open or edit Watermark.")
    c.quit()
    check(os.listdir(c.pics) == ["a.jpg"], "a file was written: %s" % os.listdir(c.pics))


def case_run_with_question(c):
    """-r -s -q with existing outputs: the question, answered "No To All", then "Yes"."""
    c.pictures(("a.jpg", "b.jpg", "c.jpg"))
    for name in ("a_wm.jpg", "b_wm.jpg"):
        with open(os.path.join(c.pics, name), "w") as f:
            f.write("old")
    write_config(c.config, {"GlobalOptions": {"FirstRun": 0},
                            "WatermarkingOptions": {"OverwriteExisting": 0}})
    mark = os.path.join(c.prog, "Sample Watermarks", "Copyright.tvx")
    c.start("-w", mark, "-r", "-s", "-q", "-a", os.path.join(c.pics, "?.jpg"))
    box = d.window(c.app, "Watermarking")
    labels = [d.text_of(n) for n in d.find_all(box, "label")]
    check(any(l == "Replace %s?" % os.path.join(c.pics, "a_wm.jpg") for l in labels), "question: %r" % labels)
    c.button(box, "No To All")
    rc = c.wait_exit()
    check(rc == 0, "exit %d:\n%s" % (rc, c.output()))
    for name in ("a_wm.jpg", "b_wm.jpg"):
        with open(os.path.join(c.pics, name), "rb") as f:
            check(f.read() == b"old", "%s was replaced after No To All" % name)
    check(os.path.getsize(os.path.join(c.pics, "c_wm.jpg")) > 1000, "c_wm.jpg was not written")

    # the next run asks again; "Yes" replaces
    os.remove(os.path.join(c.pics, "c_wm.jpg"))
    c.start("-w", mark, "-r", "-s", "-q", "-a", os.path.join(c.pics, "a.jpg"))
    c.message("Watermarking", "Replace %s?" % os.path.join(c.pics, "a_wm.jpg"), press="Yes")
    check(c.wait_exit() == 0, "second run failed:\n" + c.output())
    check(os.path.getsize(os.path.join(c.pics, "a_wm.jpg")) > 1000, "a_wm.jpg was not replaced")


def case_output_settings_saved(c):
    write_config(c.config, {"GlobalOptions": {"FirstRun": 0}})
    c.start()
    c.menu("Settings", "Output Settings")
    dlg = d.window(c.app, "Output Settings")
    d.click(d.find(dlg, "page tab", "Destination"))
    other = "Place modified images in the following folder"
    d.click(d.find(dlg, "radio button", other, timeout=5))
    # with no folder yet, choosing it opens the folder browser at once
    d.window(c.app, "Choose a folder")
    d.key("Escape")
    d.window_gone(c.app, "Choose a folder")
    folder = d.find(dlg, "text", other)
    d.set_text(folder, "/tmp/tvx-e2e-out/")
    slider = d.find(dlg, "slider", "JPEG quality:")
    slider.queryValue().currentValue = 55
    c.button(dlg, "OK")
    d.window_gone(c.app, "Output Settings")
    c.quit()
    config = read_config(c.config)
    check(config.get("WatermarkingOptions", "JPEGQuality", fallback=None) == "55", "JPEGQuality not stored")
    check(config.get("WatermarkingOptions", "PlaceInSourceFolder", fallback=None) == "0", "destination not stored")
    check(config.get("WatermarkingOptions", "DestFolder", fallback=None) == "/tmp/tvx-e2e-out/", "folder not stored")


def case_preview_matches_output(c):
    """At 100 % the preview shows exactly the pixels the run writes (PNG output)."""
    made = os.path.join(c.root, "made")
    subprocess.run([os.path.join(c.prog, "tarvex_make_samples"), "--pictures", made], check=True)
    # small enough to be shown whole at 100 %
    source = os.path.join(c.pics, "square.jpg")
    subprocess.run(["convert", os.path.join(made, "square-noon.jpg"), "-resize", "360x360", source], check=True)
    out = os.path.join(c.root, "out")
    os.makedirs(out)
    write_config(c.config, {"GlobalOptions": {"FirstRun": 0},
                            "WatermarkingOptions": {"PlaceInSourceFolder": 0, "DestFolder": out + "/",
                                                    "KeepOriginalFormat": 0, "DefaultFileFormat": 3}})
    mark = os.path.join(c.prog, "Sample Watermarks", "Copyright.tvx")
    r = subprocess.run([c.tarvex, "--no-gui", "-w", mark, "-r", "-s", "-q", "-a", source],
                       capture_output=True, text=True, cwd=c.root)
    check(r.returncode == 0, "headless run failed: %s" % r.stderr)
    expected = read_png_rgba(os.path.join(out, "square.png"))

    c.start("-w", mark, "-a", source)
    main = c.main_window()
    listing = d.find(main, "list", "Image List")
    d.click(d.find(listing, "list item", source))
    zoom = d.find(main, "combo box", None)
    d.find(main, "label", "%d x %d" % (len(expected[0]), len(expected)))
    time.sleep(1.0)  # its pixels arrive from the loader
    shot = os.path.join(c.root, "screen.png")
    c.desk.screenshot_root(shot)
    screen = read_png_rgba(shot)
    ph, pw = len(expected), len(expected[0])
    first = [p[:3] + (255,) for p in expected[0]]
    found = None
    for oy in range(len(screen) - ph + 1):
        row = screen[oy]
        for ox in range(len(row) - pw + 1):
            if row[ox] == first[0] and row[ox:ox + pw] == first:
                found = (ox, oy)
                break
        if found:
            break
    check(found is not None, "the preview does not show the written picture (zoom %r)" % d.text_of(zoom))
    ox, oy = found
    for j in range(ph):
        row = screen[oy + j][ox:ox + pw]
        check(row == [p[:3] + (255,) for p in expected[j]], "row %d of the preview differs from the output" % j)
    c.quit()


def case_crash_report(c):
    """A damaged watermark given with -w ends in the report box; Yes copies and mails the report."""
    bad = os.path.join(c.root, "bad.tvx")
    with open(bad, "wb") as f:
        f.write(b"TVX1" + struct.pack("<i", 1) + b"\x05\x00\x00\x00junk!")
    write_config(c.config, {"GlobalOptions": {"FirstRun": 0}})
    c.start("-w", bad)
    box = d.window(c.app, "Error")
    labels = " ".join(d.text_of(n) for n in d.find_all(box, "label"))
    check("We are sorry, but Tarvex raised an exception." in labels, "report question: %r" % labels)
    c.button(box, "Yes")
    c.message("Bug Report", "Report copied to the clipboard.")
    mail = [l for l in c.desk.opened() if l.startswith("mailto:")]
    check(mail and "subject=Bug_Report" in mail[0], "no mail opened: %r" % c.desk.opened())
    clip = subprocess.run(["xclip", "-o", "-selection", "clipboard"], capture_output=True, text=True,
                          env=c.desk.program_env()).stdout
    check(clip.startswith("Application: Tarvex\nVersion: 2.2\n"), "clipboard: %r" % clip[:200])
    check("Exception Message: " in clip and "OS Version: " in clip and "Swap: " in clip, "report: %r" % clip)
    c.quit()


CASES = [
    ("first_start_and_messages", case_first_start_and_messages),
    ("empty_watermark", case_empty_watermark),
    ("run_with_question", case_run_with_question),
    ("output_settings_saved", case_output_settings_saved),
    ("preview_matches_output", case_preview_matches_output),
    ("crash_report", case_crash_report),
]


def main():
    global ARGS
    ARGS = d.parse_args()
    return d.run_cases(CASES, Case, ARGS.only)


if __name__ == "__main__":
    sys.exit(main())
