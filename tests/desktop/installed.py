"""Helpers shared by the install and package tests: running programs,
pictures to watermark, settings that send the outputs to a folder."""

import os
import struct
import subprocess


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def run(cmd, env=None, cwd=None, timeout=120):
    r = subprocess.run(cmd, env=env, cwd=cwd, capture_output=True, text=True, timeout=timeout,
                       stdin=subprocess.DEVNULL)
    return r.returncode, r.stdout + r.stderr


def must(cmd, **kw):
    rc, out = run(cmd, **kw)
    check(rc == 0, "%s failed with %d:\n%s" % (" ".join(cmd), rc, out))
    return out


def headless_env(home):
    """A user with a home of its own and no display."""
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_CONFIG_HOME")}
    env["HOME"] = home
    env["LC_ALL"] = "C.UTF-8"
    return env


def prepare_batch(build, root):
    """Pictures in root/pics, an empty root/out and the user's settings in
    root/home/.config/tarvex/.config sending the outputs there."""
    pics, out, home = (os.path.join(root, n) for n in ("pics", "out", "home"))
    os.makedirs(out)
    must([os.path.join(build, "bin", "tarvex_make_samples"), "--pictures", pics])
    settings = os.path.join(home, ".config", "tarvex")
    os.makedirs(settings)
    with open(os.path.join(settings, ".config"), "w") as f:
        f.write("[WatermarkingOptions]\nPlaceInSourceFolder=0\nDestFolder=%s\n" % out)
    pictures = sorted(os.listdir(pics))
    check(pictures, "the generator made no pictures")
    return pics, out, home, pictures


def tree_files(folder):
    found = set()
    for dirpath, _, names in os.walk(folder):
        for n in names:
            found.add(os.path.relpath(os.path.join(dirpath, n), folder))
    return found


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    check(head[:8] == b"\x89PNG\r\n\x1a\n", "%s is not a PNG" % path)
    return struct.unpack(">II", head[16:24])


def cases(functions, only=None):
    """Runs every case; prints what failed; returns the exit status."""
    failed = 0
    for fn in functions:
        if only and fn.__name__ not in only:
            continue
        try:
            fn()
            print("ok    %s" % fn.__name__)
        except Exception as e:  # a case's failure must not hide the others'
            failed += 1
            print("FAIL  %s: %s" % (fn.__name__, e))
    print("%d passed, %d failed" % (len([f for f in functions if not only or f.__name__ in only]) - failed, failed))
    return 1 if failed else 0
