"""A private desktop for end-to-end tests of tarvex's windows.

Starts an X server (Xvfb), a window manager (openbox, with its own minimal
configuration so no mouse binding swallows the test's clicks) and the
accessibility bus, and drives the real program the way assistive technology
does: windows are found by their exact titles, controls by role and
accessible name (AT-SPI), buttons are pressed through their actions, text is
typed through the X server. Run under dbus-run-session so the session bus is
private to the test.
"""

import argparse
import contextlib
import os
import shutil
import signal
import subprocess
import tempfile
import time
import traceback

import pyatspi

OPENBOX_RC = """<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <focus><focusNew>yes</focusNew><followMouse>no</followMouse></focus>
  <placement><policy>Smart</policy><center>yes</center></placement>
  <theme><name>Clearlooks</name></theme>
  <desktops><number>1</number></desktops>
  <keyboard></keyboard>
  <mouse><dragThreshold>1</dragThreshold><context name="Client">
    <mousebind button="Left" action="Press"><action name="Focus"/><action name="Raise"/></mousebind>
  </context></mouse>
</openbox_config>
"""

FAKE_XDG_OPEN = """#!/bin/sh
# Records what the program asked to open instead of starting a browser or mail client.
printf '%s\\n' "$*" >> "$TVX_OPENED_LOG"
"""


class Failure(Exception):
    pass


def wait_for(predicate, timeout=15.0, what="condition", interval=0.05):
    deadline = time.monotonic() + timeout
    last_error = None
    while time.monotonic() < deadline:
        try:
            value = predicate()
            if value:
                return value
        except Exception as e:  # the tree changes under us while windows open
            last_error = e
        time.sleep(interval)
    raise Failure("timed out waiting for %s%s" % (what, " (%s)" % last_error if last_error else ""))


def free_display():
    for n in range(90, 190):
        if not os.path.exists("/tmp/.X11-unix/X%d" % n) and not os.path.exists("/tmp/.X%d-lock" % n):
            return n
    raise Failure("no free X display")


class Desktop:
    """Xvfb + openbox + AT-SPI; every process it starts is ended on close."""

    def __init__(self, width=1280, height=1024):
        self.size = (width, height)
        self.procs = []
        self.root = tempfile.mkdtemp(prefix="tvx-e2e-")
        self.opened_log = os.path.join(self.root, "opened.log")
        open(self.opened_log, "w").close()

    def start(self):
        n = free_display()
        self.display = ":%d" % n
        self._spawn(["Xvfb", self.display, "-screen", "0", "%dx%dx24" % self.size, "-nolisten", "tcp"])
        wait_for(lambda: os.path.exists("/tmp/.X11-unix/X%d" % n), what="Xvfb")
        os.environ["DISPLAY"] = self.display
        rc = os.path.join(self.root, "openbox-rc.xml")
        with open(rc, "w") as f:
            f.write(OPENBOX_RC)
        self._spawn(["openbox", "--config-file", rc])
        self._spawn(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        bin_dir = os.path.join(self.root, "fakebin")
        os.makedirs(bin_dir)
        for name in ("xdg-open", "x-www-browser", "sensible-browser"):
            path = os.path.join(bin_dir, name)
            with open(path, "w") as f:
                f.write(FAKE_XDG_OPEN)
            os.chmod(path, 0o755)
        self.path = bin_dir + os.pathsep + os.environ.get("PATH", "")
        runtime = os.path.join(self.root, "runtime")
        os.makedirs(runtime, mode=0o700)
        os.environ["XDG_RUNTIME_DIR"] = runtime
        time.sleep(0.5)
        return self

    def _spawn(self, cmd, **kw):
        p = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                             start_new_session=True, **kw)
        self.procs.append(p)
        return p

    def program_env(self, **extra):
        env = dict(os.environ)
        env.update({
            "DISPLAY": self.display,
            "QT_QPA_PLATFORM": "xcb",
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
            "QT_ACCESSIBILITY": "1",
            "PATH": self.path,
            "TVX_OPENED_LOG": self.opened_log,
            "LANGUAGE": "en",
            "LC_ALL": "C.UTF-8",
            "NO_AT_BRIDGE": "0",
        })
        env.update(extra)
        return env

    def opened(self):
        with open(self.opened_log) as f:
            return [l.rstrip("\n") for l in f if l.strip()]

    def close(self):
        for p in reversed(self.procs):
            with contextlib.suppress(Exception):
                os.killpg(p.pid, signal.SIGTERM)
        for p in reversed(self.procs):
            with contextlib.suppress(Exception):
                p.wait(timeout=5)
            with contextlib.suppress(Exception):
                os.killpg(p.pid, signal.SIGKILL)
        shutil.rmtree(self.root, ignore_errors=True)

    def screenshot(self, window_title, path):
        wid = xdotool("search", "--name", "^%s$" % window_title).split()[0]
        subprocess.run(["import", "-window", wid, path], check=True, env=dict(os.environ, DISPLAY=self.display))

    def screenshot_root(self, path):
        subprocess.run(["import", "-window", "root", path], check=True, env=dict(os.environ, DISPLAY=self.display))


def xdotool(*args, check=True):
    r = subprocess.run(["xdotool"] + list(args), capture_output=True, text=True)
    if check and r.returncode != 0:
        raise Failure("xdotool %s: %s" % (" ".join(args), r.stderr.strip()))
    return r.stdout


def type_text(text):
    xdotool("type", "--delay", "15", text)


def key(*keys):
    xdotool("key", "--delay", "30", *keys)


# ---- the accessibility tree ------------------------------------------------

def _walk(node, depth=0, limit=40):
    if node is None or depth > limit:
        return
    yield node
    try:
        count = node.childCount
    except Exception:
        return
    for i in range(count):
        try:
            child = node.getChildAtIndex(i)
        except Exception:
            continue
        yield from _walk(child, depth + 1, limit)


def application(name="tarvex", timeout=20):
    def find():
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name and app.name.lower() == name:
                return app
        return None
    return wait_for(find, timeout, "the application %r on the accessibility bus" % name)


def role_name(node):
    try:
        return node.getRoleName()
    except Exception:
        return ""


def showing(node):
    try:
        return node.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:
        return False


def enabled(node):
    return node.getState().contains(pyatspi.STATE_ENABLED)


def checked(node):
    return node.getState().contains(pyatspi.STATE_CHECKED)


def window(app, title, timeout=15):
    def find():
        for i in range(app.childCount):
            w = app.getChildAtIndex(i)
            if w is not None and w.name == title and showing(w):
                return w
        return None
    return wait_for(find, timeout, "the window %r" % title)


def window_gone(app, title, timeout=15):
    def gone():
        for i in range(app.childCount):
            w = app.getChildAtIndex(i)
            if w is not None and w.name == title and showing(w):
                return False
        return True
    wait_for(gone, timeout, "the window %r to close" % title)


def find(root, role=None, name=None, timeout=10, only_showing=True):
    def look():
        for node in _walk(root):
            if role and role_name(node) != role:
                continue
            if name is not None and node.name != name:
                continue
            if only_showing and not showing(node):
                continue
            return node
        return None
    return wait_for(look, timeout, "%s %r" % (role or "control", name))


def find_all(root, role=None, name=None):
    return [n for n in _walk(root) if (not role or role_name(n) == role) and (name is None or n.name == name)]


def press(node):
    """The control's default action through AT-SPI. Only for actions that
    return at once: use click() for anything that opens a modal dialog."""
    action = node.queryAction()
    for i in range(action.nActions):
        if action.getName(i) in ("press", "click", "Press", "SetFocus") or i == action.nActions - 1:
            if action.getName(i) in ("press", "click", "Press"):
                action.doAction(i)
                return
    action.doAction(0)


def click(node, button=1, double=False):
    """Clicks the middle of a control through the X server, as a user would."""
    x, y, w, h = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    xdotool("mousemove", "--sync", str(x + w // 2), str(y + h // 2))
    xdotool("click", "--repeat", "2" if double else "1", str(button))


def menu_command(window, *path):
    """Opens the menu bar entry path[0] and clicks path[1] (and deeper).
    Clicked, not pressed through AT-SPI: a command that opens a modal dialog
    would hold the AT-SPI call until the dialog closes."""
    bar = find(window, "menu bar", None)
    node = find(bar, "menu item", path[0])
    click(node)
    for name in path[1:]:
        node = find(node, "menu item", name)
        click(node)


def text_of(node):
    try:
        t = node.queryText()
        return t.getText(0, t.characterCount)
    except NotImplementedError:
        return node.name


def set_text(node, value):
    editable = node.queryEditableText()
    editable.setTextContents(value)


def dump(root, path=None):
    lines = []
    for node in _walk(root):
        depth = 0
        p = node
        while p is not None and p != root and depth < 40:
            p = p.parent
            depth += 1
        lines.append("%s%s %r" % ("  " * depth, role_name(node), node.name))
    text = "\n".join(lines)
    if path:
        with open(path, "w") as f:
            f.write(text)
    return text


def parse_args(keep_help="keep the temporary folders"):
    """The options every end-to-end script takes."""
    p = argparse.ArgumentParser()
    p.add_argument("--bin", required=True, help="the built program folder")
    p.add_argument("--keep", action="store_true", help=keep_help)
    p.add_argument("-k", dest="only", help="run only the cases whose names contain this")
    return p.parse_args()


def run_cases(cases, make_case, only=None):
    """Runs (name, function) cases, each on a case made by make_case(desktop, name), on one
    private desktop; prints PASS or FAIL with what tarvex said. Returns the exit status."""
    width = max(len(name) for name, _ in cases)
    desk = Desktop().start()
    failed = 0
    try:
        for name, run in cases:
            if only and only not in name:
                continue
            c = make_case(desk, name)
            started = time.monotonic()
            try:
                run(c)
                print("PASS %-*s %.1fs" % (width, name, time.monotonic() - started), flush=True)
            except Exception as e:
                failed += 1
                print("FAIL %-*s %s" % (width, name, e), flush=True)
                traceback.print_exc()
                if c.proc:
                    print("     tarvex said:\n" + c.output(), flush=True)
                    try:
                        print(dump(c.app)[:6000])
                    except Exception:
                        pass
            finally:
                c.close()
    finally:
        desk.close()
    print("%d failed" % failed)
    return 1 if failed else 0
