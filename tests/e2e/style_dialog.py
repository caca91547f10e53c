"""End-to-end cases of the "Layer Style" dialog, driven through the
accessibility tree under Xvfb: a style is chosen, tuned and saved, and its
bytes must appear unchanged in the layer's saved parameter block and in
".styles"; a saved style is chosen again and deleted after the question.

The dialog is opened on one text layer by styledlg_host (tests/styles/ui),
which saves the watermark when the dialog closes with OK.
"""

import argparse
import os
import struct
import subprocess
import sys
import time
import traceback

import pyatspi

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop  # noqa: E402
from desktop import Failure, find, key, type_text, wait_for, window, xdotool  # noqa: E402

TITLE = "Layer Style"


# ---- the expected bytes, built from the file formats ------------------------------

def u32(n):
    return struct.pack("<I", n)


def i32(n):
    return struct.pack("<i", n)


def f32(x):
    return struct.pack("<f", x)


def stream_string(text):
    data = text.encode("utf-8")
    return b"STR1" + i32(len(data)) + data


def filter_params(block):
    return b"FPRM" + i32(1) + i32(len(block)) + block


def filters_params(entries):
    """entries: {kind: block}; written in byte-wise name order."""
    out = b"FSPM" + i32(1) + i32(len(entries))
    for name in sorted(entries, key=lambda n: n.encode("utf-8")):
        out += stream_string(name) + filter_params(entries[name])
    return out


def glow_block(size, opacity, color=0):
    return b"DRPS" + i32(size) + u32(opacity) + u32(0) + f32(0.0) + u32(color)


def stroke_block(size, opacity, position, color=0):
    return b"STRK" + i32(size) + i32(opacity) + i32(position) + u32(color)


def styles_file(styles):
    out = b"STYL" + i32(1) + i32(len(styles))
    for name in sorted(styles, key=lambda n: n.encode("utf-8")):
        out += stream_string(name) + styles[name]
    return out


# ---- driving the dialog -------------------------------------------------------------

def extents(node):
    return node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)


def click_at(x, y):
    xdotool("mousemove", "--sync", str(x), str(y))
    xdotool("click", "1")


def list_row(dialog, name):
    for role in ("list item", "table cell"):
        rows = [n for n in desktop.find_all(dialog, role=role, name=name) if desktop.showing(n)]
        if rows:
            return rows[0]
    raise Failure("no row %r in the filter list" % name)


def click_row_text(dialog, name):
    e = extents(list_row(dialog, name))
    click_at(e.x + min(70, e.width - 5), e.y + e.height // 2)


def row_checked(dialog, name):
    return desktop.checked(list_row(dialog, name))


def type_into(dialog, name, text, role="text"):
    field = find(dialog, role=role, name=name)
    e = extents(field)
    click_at(e.x + e.width // 2, e.y + e.height // 2)
    key("ctrl+a")
    type_text(text)
    return field


def focused(node):
    return node.getState().contains(pyatspi.STATE_FOCUSED)


def wait_until_focused(node, what):
    wait_for(lambda: focused(node), what=what)


def tab_to(node, what, backwards=False, limit=12):
    """Presses Tab (or Shift+Tab) until node has the focus."""
    for _ in range(limit):
        if focused(node):
            return
        key("shift+Tab" if backwards else "Tab")
        time.sleep(0.1)
    wait_until_focused(node, what)


class Host:
    """styledlg_host on the private desktop; a case that fails inside its
    with-block leaves a screenshot of the screen as it was."""

    def __init__(self, desk, host, work, out, shot):
        self.desk = desk
        self.shot = shot
        self.proc = subprocess.Popen(
            [host, "--styles", work, "--out", out],
            env=desk.program_env(), stdout=subprocess.PIPE, stderr=subprocess.STDOUT)

    def __enter__(self):
        return self

    def __exit__(self, kind, value, tb):
        if kind is not None:
            path = os.path.join(os.environ.get("TMPDIR", "/tmp"), "tvx-e2e-%s.png" % self.shot)
            try:
                self.desk.screenshot_root(path)
                print("screenshot:", path)
            except Exception:
                pass
        self.stop()
        return False

    def wait(self, timeout=15):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure("the host did not end")

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


def case_tuned_style_is_saved_byte_for_byte(desk, host_path, work):
    out = os.path.join(work, "out.tvx")
    with Host(desk, host_path, work, out, "tuned-style") as host:
        app = desktop.application("styledlg_host")
        dialog = window(app, TITLE)
        find(dialog, name="Style Preview", role=None)
        # the help text shows until a filter is selected
        if row_checked(dialog, "Glow") or row_checked(dialog, "Stroke"):
            raise Failure("a new layer starts with filters checked")

        click_row_text(dialog, "Glow")
        wait_for(lambda: row_checked(dialog, "Glow"), what="Glow checked by selecting it")
        type_into(dialog, "Size:", "12")
        key("Tab")
        type_into(dialog, "Opacity:", "60")
        key("Tab")

        click_row_text(dialog, "Stroke")
        wait_for(lambda: row_checked(dialog, "Stroke"), what="Stroke checked by selecting it")
        type_into(dialog, "Size:", "3")
        key("Tab", "Tab", "Tab")  # past the opacity slider and field to the position list
        key("Down")  # "Outside"
        time.sleep(0.3)

        desktop.press(find(dialog, name="Save current style"))
        name_field = find(dialog, role="text", name="New style name:")
        wait_for(lambda: name_field.getState().contains(pyatspi.STATE_FOCUSED), what="the name field focused")
        type_text("Halo")
        key("Return")
        wait_for(lambda: os.path.exists(os.path.join(work, ".styles")), what=".styles written")

        desktop.press(find(dialog, role="push button", name="OK"))
        code = host.wait()
    if code != 0:
        raise Failure("the host ended with %r: %s" % (code, host.proc.stdout.read().decode(errors="replace")))

    expected = filters_params({"Glow": glow_block(12, 60), "Stroke": stroke_block(3, 100, 1)})
    with open(os.path.join(work, ".styles"), "rb") as f:
        styles = f.read()
    with open(out, "rb") as f:
        watermark = f.read()
    if styles != styles_file({"Halo": expected}):
        raise Failure(".styles differs:\n  got      %s\n  expected %s" % (styles.hex(), styles_file({"Halo": expected}).hex()))
    if watermark.count(expected) != 1:
        at = watermark.find(b"FSPM")
        raise Failure("the layer's styles differ:\n  got      %s\n  expected %s" % (
            watermark[at:at + len(expected) + 16].hex(), expected.hex()))
    return expected


def case_saved_style_is_chosen_and_deleted(desk, host_path, work, saved):
    out = os.path.join(work, "out2.tvx")
    with Host(desk, host_path, work, out, "saved-style") as host:
        app = desktop.application("styledlg_host")
        dialog = window(app, TITLE)
        wait_until_focused(find(dialog, role="list", name="Filters"), "the filter list focused")
        # from the filter list back to the style list
        tab_to(find(dialog, role="combo box"), "the style list focused", backwards=True)
        key("Down")  # "None"
        time.sleep(0.2)
        key("Down")  # "Halo"
        wait_for(lambda: row_checked(dialog, "Glow") and row_checked(dialog, "Stroke"),
                 what="the saved style's filters checked")
        if row_checked(dialog, "Drop Shadow") or row_checked(dialog, "Gradient"):
            raise Failure("filters of no saved style are checked")
        delete = find(dialog, name="Delete style")
        if not desktop.enabled(delete):
            raise Failure("Delete style is disabled on a saved style")
        # a click, not the button's action: the question's own event loop would
        # hold back the action's reply
        e = extents(delete)
        click_at(e.x + e.width // 2, e.y + e.height // 2)
        wait_for(lambda: any(desktop.showing(n) for n in desktop.find_all(app, name="Delete the style \"Halo\"?")),
                 what="the question 'Delete the style \"Halo\"?'")
        desktop.press(find(app, role="push button", name="Yes"))
        wait_for(lambda: open(os.path.join(work, ".styles"), "rb").read() == styles_file({}),
                 what=".styles without the style")
        delete = find(dialog, name="Delete style")
        if desktop.enabled(delete):
            raise Failure("Delete style is enabled on \"Custom\"")
        desktop.press(find(dialog, role="push button", name="OK"))
        code = host.wait()
    if code != 0:
        raise Failure("the host ended with %r" % code)
    # the chosen style went to the layer although it is no longer saved
    with open(out, "rb") as f:
        if f.read().count(saved) != 1:
            raise Failure("the chosen style is not the layer's")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--host", required=True)
    args = parser.parse_args()
    desk = desktop.Desktop().start()
    failed = 0

    def run(name, case, *more):
        nonlocal failed
        try:
            result = case(desk, args.host, work, *more)
            print("PASS", name)
            return result
        except Exception:
            failed += 1
            print("FAIL", name)
            traceback.print_exc()
            return None

    try:
        work = os.path.join(desk.root, "work")
        os.makedirs(work)
        saved = run("a tuned style is saved byte for byte", case_tuned_style_is_saved_byte_for_byte)
        # the second case starts from the styles file the first one wrote
        if saved is not None:
            run("a saved style is chosen and deleted", case_saved_style_is_chosen_and_deleted, saved)
    finally:
        desk.close()
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
