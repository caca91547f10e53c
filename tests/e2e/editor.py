#!/usr/bin/python3
"""End to end: editor sessions in the real tarvex under Xvfb, driven from the
keyboard and the mouse and read through the accessibility tree, each checked
in the watermark file the main window saves afterwards, field by field.

Usage (under a private session bus):
  dbus-run-session -- /usr/bin/python3 editor.py --bin BUILD/bin [--keep] [-k CASE]

Every case copies the program folder into a temporary folder, writes a known
watermark file, starts tarvex on it, saves it once untouched (the reference),
runs an editor session and saves again.
"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop as d  # noqa: E402
import pyatspi  # noqa: E402

ARGS = None
LOGO_RGB = (255, 0, 255)  # the picture layer: opaque magenta, found on screen by its colour
EDITOR = "Watermark Editor"
MAIN = "Tarvex 2.2"


def check(condition, message):
    if not condition:
        raise d.Failure(message)


# ---- watermark files ----------------------------------------------------------------

def _s(text):
    b = text.encode("utf-8")
    return b"STR1" + struct.pack("<i", len(b)) + b


def _base(name, x, y, alpha=255):
    return (b"BASL" + struct.pack("<i", 5) + struct.pack("<BIiiB", 0, 50, 0, 0, 0) +
            b"FSPM" + struct.pack("<ii", 1, 0) + struct.pack("<ii", 1, alpha) + struct.pack("<BB", 0, 0) +
            struct.pack("<ff", x, y) + struct.pack("<BB", 0, 0) + _s(name))


def write_start_watermark(path):
    """A 40 x 20 magenta picture at (50, 60), a text at (200, 100), the artist EXIF field."""
    w, h = 40, 20
    r, g, b = LOGO_RGB
    picture = (_s("TBitmapLayer") + _base("Logo", 50, 60) + b"BMPL" + struct.pack("<iii", 1, w, h) +
               bytes([b, g, r, 255]) * (w * h))
    text = (_s("TTextLayer") + _base("Caption", 200, 100) + b"TXTL" + struct.pack("<iff", 2, 1.0, 1.0) +
            _s("Caption") + _s("DejaVu Sans") + struct.pack("<iI", 20, 0x00FF0000) + bytes([0, 0, 0, 0, 0]))
    exif = _s("TWatermarkExif") + b"WMEX" + struct.pack("<i", 1) + bytes([0, 0, 1, 0]) + _s("") + _s("") + _s("Me") + _s("")
    with open(path, "wb") as f:
        f.write(b"TVX1" + struct.pack("<i", 1) + picture + text + exif)


class Reader:
    def __init__(self, data):
        self.data, self.pos = data, 0

    def take(self, n):
        check(self.pos + n <= len(self.data), "watermark file ends early at %d" % self.pos)
        b = self.data[self.pos:self.pos + n]
        self.pos += n
        return b

    def sig(self):
        return self.take(4).decode("latin-1")

    def i32(self):
        return struct.unpack("<i", self.take(4))[0]

    def u32(self):
        return struct.unpack("<I", self.take(4))[0]

    def u8(self):
        return self.take(1)[0]

    def f32(self):
        return struct.unpack("<f", self.take(4))[0]

    def string(self):
        check(self.sig() == "STR1", "no string at %d" % self.pos)
        return self.take(self.i32()).decode("utf-8")


def read_watermark(path):
    """The file as a list of layers (dicts of every stored field) and the EXIF settings."""
    with open(path, "rb") as f:
        r = Reader(f.read())
    check(r.sig() == "TVX1" and r.i32() == 1, "%s is not a watermark file" % path)
    layers, exif = [], None
    while r.pos < len(r.data):
        kind = r.string()
        if kind == "TWatermarkExif":
            check(r.sig() == "WMEX", "bad EXIF chunk")
            r.i32()
            flags = [r.u8() for _ in range(4)]
            exif = {"flags": flags, "texts": [r.string() for _ in range(4)]}
            continue
        layer = {"class": kind}
        check(r.sig() == "BASL" and r.i32() == 5, "bad base block")
        layer["noisy"], layer["noise"] = r.u8(), r.u32()
        layer["tile gaps"] = (r.i32(), r.i32())
        layer["tile"] = r.u8()
        check(r.sig() == "FSPM", "bad styles block")
        r.i32()
        styles = {}
        for _ in range(r.i32()):
            name = r.string()
            check(r.sig() == "FPRM", "bad style record")
            r.i32()
            styles[name] = r.take(r.i32())
        layer["styles"] = styles
        layer["visible"], layer["alpha"] = r.i32(), r.i32()
        layer["units"] = (r.u8(), r.u8())
        layer["x"], layer["y"] = r.f32(), r.f32()
        layer["aligns"] = (r.u8(), r.u8())
        layer["name"] = r.string()
        if kind == "TBitmapLayer":
            check(r.sig() == "BMPL" and r.i32() == 1, "bad picture block")
            w, h = r.i32(), r.i32()
            layer["size"] = (w, h)
            layer["pixels"] = r.take(w * h * 4) if w and h else b""
        else:
            check(r.sig() == "TXTL" and r.i32() == 2, "bad text block")
            layer["stretch"] = (r.f32(), r.f32())
            layer["text"], layer["font"] = r.string(), r.string()
            layer["size"], layer["color"] = r.i32(), r.u32()
            layer["style"] = tuple(r.u8() for _ in range(4))
            layer["justification"] = r.u8()
        layers.append(layer)
    return layers, exif


def expect_fields(got, want, changed, what):
    """Every field of want as in got, except the changed ones, which must hold their new values."""
    check(len(got[0]) == len(want[0]), "%s: %d layers, expected %d" % (what, len(got[0]), len(want[0])))
    check(got[1] == want[1], "%s: EXIF settings %r, expected %r" % (what, got[1], want[1]))
    for i, (g, w) in enumerate(zip(got[0], want[0])):
        for key in w:
            expected = changed.get((i, key), w[key])
            if callable(expected):
                check(expected(g[key]), "%s: layer %d %s is %r" % (what, i, key, g[key]))
            else:
                check(g[key] == expected, "%s: layer %d %s is %r, expected %r" % (
                    what, i, key, str(g[key])[:80], str(expected)[:80]))


# ---- driving the program ----------------------------------------------------------------

def click_at(x, y, button=1):
    d.xdotool("mousemove", "--sync", str(int(x)), str(int(y)))
    d.xdotool("click", str(button))


def click(node):
    x, y, w, h = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    click_at(x + w // 2, y + h // 2)


def drag(x0, y0, x1, y1, keys=()):
    for k in keys:
        d.xdotool("keydown", k)
    d.xdotool("mousemove", "--sync", str(int(x0)), str(int(y0)))
    d.xdotool("mousedown", "1")
    for t in (0.25, 0.5, 0.75, 1.0):
        d.xdotool("mousemove", "--sync", str(int(round(x0 + (x1 - x0) * t))), str(int(round(y0 + (y1 - y0) * t))))
        time.sleep(0.05)
    d.xdotool("mouseup", "1")
    for k in keys:
        d.xdotool("keyup", k)
    time.sleep(0.2)


def activate(title):
    d.xdotool("search", "--sync", "--name", "^%s$" % title, "windowactivate", "--sync")


def find_color_box(desk, node, rgb):
    """The bounding box (screen pixels, inclusive) of the pixels of exactly rgb inside a control."""
    x, y, w, h = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    raw = os.path.join(desk.root, "shot.rgb")
    subprocess.run(["import", "-window", "root", "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage",
                    "-depth", "8", "rgb:" + raw], check=True, env=dict(os.environ, DISPLAY=desk.display))
    with open(raw, "rb") as f:
        data = f.read()
    target = bytes(rgb)
    xs, ys = [], []
    pos = data.find(target)
    while pos >= 0:
        if pos % 3 == 0:
            p = pos // 3
            xs.append(p % w)
            ys.append(p // w)
        pos = data.find(target, pos + 1)
    check(xs, "no pixel of colour %r on the canvas" % (rgb,))
    return x + min(xs), y + min(ys), x + max(xs), y + max(ys)


class Case:
    def __init__(self, desk, name):
        self.desk = desk
        self.name = name
        self.root = tempfile.mkdtemp(prefix="tvx-e2e-editor-%s-" % name)
        self.prog = os.path.join(self.root, "program")
        shutil.copytree(ARGS.bin, self.prog, symlinks=True,
                        ignore=shutil.ignore_patterns(".config", ".styles", "*.log"))
        with open(os.path.join(self.prog, ".config"), "w") as f:
            f.write("[GlobalOptions]\nFirstRun=0\nOpenWatermarkInitialDir=%s/\n" % self.root)
        self.start_file = os.path.join(self.root, "start.tvx")
        write_start_watermark(self.start_file)
        self.proc = None
        self.saves = 0

    def start(self):
        self.log = open(os.path.join(self.root, "tarvex.log"), "w")
        self.proc = subprocess.Popen([os.path.join(self.prog, "tarvex"), "-w", self.start_file],
                                     env=self.desk.program_env(), stdout=self.log, stderr=subprocess.STDOUT,
                                     cwd=self.root)
        self.app = d.application()
        d.window(self.app, MAIN)
        return self

    def output(self):
        self.log.flush()
        with open(os.path.join(self.root, "tarvex.log")) as f:
            return f.read()

    def save(self):
        """Saves the main window's watermark to a new file and reads it."""
        self.saves += 1
        path = os.path.join(self.root, "saved%d.tvx" % self.saves)
        activate(MAIN)
        d.key("ctrl+s")
        d.window(self.app, "Save Watermark")
        time.sleep(0.5)
        d.key("ctrl+a")
        d.type_text(path)
        d.key("Return")
        d.wait_for(lambda: os.path.exists(path) and os.path.getsize(path) > 0, what="the saved file " + path)
        d.window_gone(self.app, "Save Watermark")
        time.sleep(0.3)
        return path

    def open_editor(self):
        activate(MAIN)
        d.key("ctrl+e")
        self.editor = d.window(self.app, EDITOR)
        activate(EDITOR)
        self.canvas = d.find(self.editor, None, "Canvas")
        self.layers = d.find(self.editor, "list", "Layers")
        time.sleep(0.5)
        return self.editor

    def button(self, name, window=None):
        d.press(d.find(window or self.editor, "push button", name))

    def select_row(self, name):
        click(d.find(self.layers, "list item", name))
        time.sleep(0.2)

    def editor_gone(self):
        d.window_gone(self.app, EDITOR)

    def answer(self, title, text, press):
        """Answers the message box titled title that says text (the editor has the same title)."""
        def box():
            for i in range(self.app.childCount):
                w = self.app.getChildAtIndex(i)
                if w is None or w.name != title or not d.showing(w):
                    continue
                if any(d.text_of(n) == text for n in d.find_all(w, "label")):
                    return w
            return None
        found = d.wait_for(box, what="a box %r saying %r" % (title, text))
        d.press(d.find(found, "push button", press))
        d.wait_for(lambda: box() is None, what="the box to close")

    def screenshot(self, what):
        if ARGS.keep:
            self.desk.screenshot(EDITOR, os.path.join(self.root, what + ".png"))

    def close(self):
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        if not ARGS.keep:
            shutil.rmtree(self.root, ignore_errors=True)


def same_bytes(a, b):
    with open(a, "rb") as f, open(b, "rb") as g:
        return f.read() == g.read()


# ---- the cases ---------------------------------------------------------------------------------

def case_cancel_leaves_the_file_byte_identical(c):
    c.start()
    reference = c.save()
    want = read_watermark(reference)
    check(want[0][0]["name"] == "Logo" and want[0][1]["text"] == "Caption", "the start file reads as %r" % (want,))

    # changes, then "Cancel Watermark Changes"
    c.open_editor()
    check(d.text_of(c.layers) is not None, "no layer list")
    c.select_row("Logo")
    d.key("Delete")
    d.wait_for(lambda: len(d.find_all(c.layers, "list item")) == 1, what="the layer to go")
    c.screenshot("after-delete")
    c.button("Cancel Watermark Changes")
    c.editor_gone()
    check(same_bytes(c.save(), reference), "Cancel changed the watermark")

    # the close box (Escape) after a change asks; No keeps the watermark
    c.open_editor()
    c.select_row("Caption")
    d.key("Delete")
    d.key("Escape")
    c.answer(EDITOR, "Apply watermark changes?", "No")
    c.editor_gone()
    check(same_bytes(c.save(), reference), "closing without applying changed the watermark")

    # nothing changed: closing asks nothing
    c.open_editor()
    d.key("Escape")
    c.editor_gone()
    check(same_bytes(c.save(), reference), "closing an untouched editor changed the watermark")


def case_a_drag_of_n_pixels_moves_the_layer_by_n(c):
    c.start()
    want = read_watermark(c.save())
    c.open_editor()
    zoom = d.find(c.editor, "combo box", "100%")
    check(zoom is not None, "the zoom is not 100%")
    c.select_row("Logo")
    left, top, right, bottom = find_color_box(c.desk, c.canvas, LOGO_RGB)
    check((right - left + 1, bottom - top + 1) == (40, 20), "the logo shows %dx%d at 100 %%" % (
        right - left + 1, bottom - top + 1))
    click(d.find(c.editor, "check box", "Move Layer"))
    dx, dy = 37, 23
    # Alt: no snapping to the picture's lines, the drag alone decides
    drag((left + right) // 2, (top + bottom) // 2, (left + right) // 2 + dx, (top + bottom) // 2 + dy, keys=("alt",))
    c.screenshot("after-drag")
    x = d.find(c.editor, "text", "X:")
    d.wait_for(lambda: d.text_of(x) == "%.2f" % (50 + dx), what="X to show %.2f (shows %r)" % (50 + dx, d.text_of(x)))
    d.key("ctrl+s")  # the editor's Apply
    c.editor_gone()
    got = read_watermark(c.save())
    expect_fields(got, want, {(0, "x"): 50.0 + dx, (0, "y"): 60.0 + dy}, "after the drag")


def case_a_stretch_and_apply_transform_gives_the_new_size(c):
    c.start()
    want = read_watermark(c.save())
    c.open_editor()
    c.select_row("Logo")
    left, top, right, bottom = find_color_box(c.desk, c.canvas, LOGO_RGB)
    resize = d.find(c.editor, "check box", "Resize Layer")
    click(resize)
    apply_transform = d.find(c.editor, "push button", "Apply Transform")
    d.wait_for(lambda: d.enabled(apply_transform), what="Apply Transform to be enabled")
    check(not d.enabled(d.find(c.editor, "push button", "Apply Watermark Changes")),
          "Apply Watermark Changes is enabled while resizing")
    # the bottom-right handle lies on the layer's last pixel
    drag(right, bottom, right + 40, bottom + 20, keys=("alt",))
    c.screenshot("stretched")
    c.button("Apply Transform")
    d.wait_for(lambda: not d.enabled(apply_transform), what="the transform to end")
    c.button("Apply Watermark Changes")
    c.editor_gone()
    got = read_watermark(c.save())

    def solid(pixels):
        b, g, r = LOGO_RGB[2], LOGO_RGB[1], LOGO_RGB[0]
        return pixels == bytes([b, g, r, 255]) * (80 * 40)
    expect_fields(got, want, {(0, "size"): (80, 40), (0, "pixels"): solid}, "after the stretch")


def case_undo_returns_the_file_to_its_earlier_bytes(c):
    c.start()
    reference = c.save()
    c.open_editor()
    c.select_row("Logo")
    # the opacity typed, undone from the Edit menu by its name
    opacity = d.find(c.editor, "text", "Opacity:")
    click(opacity)
    d.key("ctrl+a")
    d.type_text("40")
    d.key("Tab")
    bar = d.find(c.editor, "menu bar", None)
    edit = d.find(bar, "menu item", "Edit")
    d.find(edit, "menu item", "Undo Opacity", only_showing=False)  # the entry names the step
    d.key("alt+e")
    d.find(edit, "menu item", "Undo Opacity")
    d.key("u")
    time.sleep(0.3)
    check(d.text_of(opacity) == "100%", "the opacity shows %r after undo" % d.text_of(opacity))
    # a deleted layer, brought back with Ctrl+Z
    c.select_row("Caption")
    d.key("Delete")
    d.wait_for(lambda: len(d.find_all(c.layers, "list item")) == 1, what="the layer to go")
    click(c.canvas)
    d.key("ctrl+z")
    d.wait_for(lambda: len(d.find_all(c.layers, "list item")) == 2, what="the layer to come back")
    c.button("Apply Watermark Changes")
    c.editor_gone()
    check(same_bytes(c.save(), reference), "undoing every change did not give the watermark back")


CASES = [
    ("cancel", case_cancel_leaves_the_file_byte_identical),
    ("drag", case_a_drag_of_n_pixels_moves_the_layer_by_n),
    ("stretch", case_a_stretch_and_apply_transform_gives_the_new_size),
    ("undo", case_undo_returns_the_file_to_its_earlier_bytes),
]


def main():
    global ARGS
    ARGS = d.parse_args("keep the temporary folders and screenshots")
    return d.run_cases(CASES, Case, ARGS.only)


if __name__ == "__main__":
    sys.exit(main())
