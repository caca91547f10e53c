#!/usr/bin/python3
"""Screenshots of the windows for the README, made under a private Xvfb.

  dbus-run-session -- /usr/bin/python3 scripts/screenshots.py --bin build/default/bin --out docs/screenshots

Shows the main window with a sample watermark over a demo picture, and the
output settings dialog, and saves both as PNG.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import desktop as d  # noqa: E402


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--bin", required=True)
    p.add_argument("--out", required=True)
    args = p.parse_args()
    os.makedirs(args.out, exist_ok=True)
    root = tempfile.mkdtemp(prefix="tvx-shots-")
    prog = os.path.join(root, "program")
    shutil.copytree(args.bin, prog, ignore=shutil.ignore_patterns(".config", ".styles"))
    with open(os.path.join(prog, ".config"), "w") as f:
        f.write("[GlobalOptions]\nFirstRun=0\n")
    pics = os.path.join(root, "pics")
    subprocess.run([os.path.join(prog, "tarvex_make_samples"), "--pictures", pics], check=True)
    desk = d.Desktop(1280, 860).start()
    proc = None
    try:
        mark = os.path.join(prog, "Sample Watermarks", "Copyright.tvx")
        proc = subprocess.Popen([os.path.join(prog, "tarvex"), "-w", mark, "-a", os.path.join(pics, "*.jpg")],
                                env=desk.program_env(), cwd=root)
        app = d.application()
        main = d.window(app, "Tarvex 2.2")
        d.xdotool("search", "--sync", "--name", "^Tarvex 2.2$", "windowsize", "1200", "760")
        d.xdotool("search", "--sync", "--name", "^Tarvex 2.2$", "windowmove", "0", "0")
        time.sleep(0.5)
        listing = d.find(main, "list", "Image List")
        d.click(d.find(listing, "list item", os.path.join(pics, "wide-dusk.jpg")))
        zoom = d.find(d.find(main, "combo box", None), "text", "Zoom")
        d.click(zoom)
        d.key("ctrl+a")
        d.type_text("Fit to view")
        d.key("Return")
        time.sleep(2.0)
        desk.screenshot("Tarvex 2.2", os.path.join(args.out, "main-window.png"))
        d.menu_command(main, "Settings", "Output Settings")
        d.window(app, "Output Settings")
        time.sleep(1.0)
        desk.screenshot("Output Settings", os.path.join(args.out, "output-settings.png"))
        d.key("Escape")
    finally:
        if proc:
            proc.kill()
            proc.wait()
        desk.close()
        shutil.rmtree(root, ignore_errors=True)
    print("screenshots in", args.out)


if __name__ == "__main__":
    main()
