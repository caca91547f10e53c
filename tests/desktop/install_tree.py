#!/usr/bin/python3
"""cmake --install into a prefix that is not the build folder: the layout, the
programs run from there (also after the whole tree moved), the settings go to
the user's folder and never into the installed tree, and the manual pages
describe every option the programs list.

Usage: install_tree.py --build BUILD --app-id ID [--keep] [-k CASE]
"""

import argparse
import glob
import os
import re
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from installed import check, cases, headless_env, must, png_size, prepare_batch, run, tree_files  # noqa: E402

ARGS = None
ROOT = None
PREFIX = None


def private_folder(prefix):
    found = glob.glob(os.path.join(prefix, "lib", "tarvex")) + glob.glob(os.path.join(prefix, "lib", "*", "tarvex"))
    check(len(found) == 1, "one private program folder expected under lib/, found %r" % found)
    return found[0]


def case_layout():
    private = private_folder(PREFIX)
    for name in ("tarvex", "tarvex-cli", "kobalt.fp", "modern.fp", "installed", "Sample Watermarks/Copyright.tvx",
                 "Sample Watermarks/Logo.png", "Tutorial/0.html", "Tutorial/0.bmp", "help/welcome.htm",
                 "help/Tutorials/main.htm"):
        check(os.path.isfile(os.path.join(private, name)), "%s is missing from the program folder" % name)
    for program in ("tarvex", "tarvex-cli"):
        link = os.path.join(PREFIX, "bin", program)
        check(os.path.islink(link), "bin/%s is not a link" % program)
        check(not os.path.isabs(os.readlink(link)), "bin/%s points to an absolute path" % program)
        check(os.path.realpath(link) == os.path.realpath(os.path.join(private, program)),
              "bin/%s does not lead to the program folder" % program)
    share = os.path.join(PREFIX, "share")
    app = ARGS.app_id
    for name in ("applications/%s.desktop" % app, "mime/packages/%s.xml" % app, "metainfo/%s.metainfo.xml" % app,
                 "man/man1/tarvex.1.gz", "man/man1/tarvex-cli.1.gz",
                 "icons/hicolor/scalable/apps/%s.svg" % app,
                 "icons/hicolor/scalable/mimetypes/application-x-tarvex-watermark.svg"):
        check(os.path.isfile(os.path.join(share, name)), "share/%s is missing" % name)
    for size in (16, 22, 24, 32, 48, 64, 128, 256, 512):
        for context, name in (("apps", app), ("mimetypes", "application-x-tarvex-watermark")):
            png = os.path.join(share, "icons/hicolor/%dx%d/%s/%s.png" % (size, size, context, name))
            check(os.path.isfile(png), "%s is missing" % png)
            check(png_size(png) == (size, size), "%s is %r, not %d pixels square" % (png, png_size(png), size))
    # Nothing of the build or the tests comes along.
    stray = [f for f in tree_files(PREFIX) if "test" in os.path.basename(f).lower() or f.endswith((".a", ".o"))]
    check(not stray, "files that do not belong to the install: %r" % stray)


def case_runs_from_another_prefix_after_moving():
    moved = os.path.join(ROOT, "elsewhere", "prefix")
    shutil.copytree(PREFIX, moved, symlinks=True)
    env = headless_env(os.path.join(ROOT, "home-version"))
    for program in ("tarvex", "tarvex-cli"):
        out = must([os.path.join(moved, "bin", program), "--version"], env=env)
        check(out == "2.2\n", "%s --version printed %r" % (program, out))
    # The plug-ins are found beside the program: a run with no pictures
    # says so (and would say "Unsupported file plugin" without them).
    pics, out_dir, home, pictures = prepare_batch(ARGS.build, os.path.join(ROOT, "moved-batch"))
    private = private_folder(moved)
    before = tree_files(private)
    rc, out = run([os.path.join(moved, "bin", "tarvex"), "--no-gui", "-r", "-s", "-q",
                   os.path.join(private, "Sample Watermarks", "Copyright.tvx"), pics], env=headless_env(home))
    check(rc == 0, "tarvex --no-gui from the moved prefix failed with %d:\n%s" % (rc, out))
    check(sorted(os.listdir(out_dir)) == pictures, "written %r, expected %r" % (sorted(os.listdir(out_dir)), pictures))
    check(tree_files(private) == before, "the run wrote into the program folder: %r" % (tree_files(private) - before))


def case_settings_go_to_the_users_folder():
    # Run as root too: the program folder may be writable, yet it is an installation.
    pics, out_dir, home, pictures = prepare_batch(ARGS.build, os.path.join(ROOT, "batch"))
    private = private_folder(PREFIX)
    before = tree_files(private)
    rc, out = run([os.path.join(PREFIX, "bin", "tarvex-cli"), "-r", "-s", "-q",
                   os.path.join(private, "Sample Watermarks", "Photo Info.tvx"), pics], env=headless_env(home))
    check(rc == 0, "tarvex-cli failed with %d:\n%s" % (rc, out))
    check("%d picture(s) written" % len(pictures) in out, "unexpected report:\n%s" % out)
    check(sorted(os.listdir(out_dir)) == pictures, "written %r, expected %r" % (sorted(os.listdir(out_dir)), pictures))
    check(tree_files(private) == before, "the run wrote into the program folder: %r" % (tree_files(private) - before))
    check(os.path.isfile(os.path.join(home, ".config", "tarvex", ".styles")), "the saved styles are not in ~/.config/tarvex")


def options_of(help_text):
    return sorted(set(re.findall(r"^  (-[-a-z]+)", help_text, re.M)))


def case_manual_pages_describe_every_option():
    env = headless_env(os.path.join(ROOT, "home-man"))
    for program in ("tarvex", "tarvex-cli"):
        help_text = must([os.path.join(PREFIX, "bin", program), "--help"], env=env)
        options = options_of(help_text)
        check(len(options) >= 8, "%s --help lists only %r" % (program, options))
        page = os.path.join(PREFIX, "share", "man", "man1", program + ".1.gz")
        menv = dict(env, MANWIDTH="100", MANROFFSEQ="")
        rc, text = run(["sh", "-c", "man -l '%s' | col -b" % page], env=menv)
        check(rc == 0 and "SYNOPSIS" in text, "%s does not render:\n%s" % (page, text))
        rc, warnings = run(["sh", "-c", "man --warnings -E UTF-8 -l -Tutf8 -Z '%s' 2>&1 >/dev/null" % page], env=menv)
        check(not warnings.strip(), "man warns about %s:\n%s" % (page, warnings))
        entries = set()
        for line in text.splitlines():
            m = re.match(r"^\s+(-[-a-z]+)(?:\s|,|$)(?:[^,]*,\s*(-[-a-z]+))?", line)
            if m:
                entries.update(g for g in m.groups() if g)
        if ARGS.keep:
            print(program, sorted(entries))
        missing = [o for o in options if o not in entries]
        check(not missing, "%s(1) does not describe %r (it has %r)" % (program, missing, sorted(entries)))


def main():
    global ARGS, ROOT, PREFIX
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--app-id", required=True)
    parser.add_argument("--keep", action="store_true")
    parser.add_argument("-k", action="append")
    ARGS = parser.parse_args()
    ROOT = tempfile.mkdtemp(prefix="tvx-install-")
    PREFIX = os.path.join(ROOT, "prefix")
    try:
        must(["cmake", "--install", ARGS.build, "--prefix", PREFIX])
        return cases([case_layout, case_runs_from_another_prefix_after_moving, case_settings_go_to_the_users_folder,
                      case_manual_pages_describe_every_option], ARGS.k)
    finally:
        if not ARGS.keep:
            shutil.rmtree(ROOT, ignore_errors=True)
        else:
            print("kept", ROOT)


if __name__ == "__main__":
    sys.exit(main())
