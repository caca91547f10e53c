#!/usr/bin/python3
"""The Debian packages, built with CPack from the build tree: their control
fields and contents, lintian, and the installed tarvex-cli running a batch
from the unpacked packages on a system whose Qt libraries are hidden.

Usage: packages.py --build BUILD [--keep] [-k CASE]
"""

import argparse
import glob
import os
import re
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from installed import check, cases, headless_env, must, prepare_batch, run, tree_files  # noqa: E402

ARGS = None
ROOT = None
DEBS = {}
UNPACKED = None


def field(deb, name):
    return must(["dpkg-deb", "-f", deb, name]).strip()


def contents(deb):
    listing = must(["dpkg-deb", "-c", deb])
    return {line.split(None, 5)[5].split(" -> ")[0] for line in listing.splitlines() if not line.endswith("/")}


def case_control_fields():
    version = field(DEBS["tarvex-cli"], "Version")
    check(re.fullmatch(r"\d+\.\d+-\d+", version), "version %r" % version)
    cli = field(DEBS["tarvex-cli"], "Depends")
    check("libexif12" in cli and "libc6" in cli, "tarvex-cli's dependencies were not found: %r" % cli)
    check("qt" not in cli.lower(), "tarvex-cli depends on Qt: %r" % cli)
    gui = field(DEBS["tarvex"], "Depends")
    check("tarvex-cli (= %s)" % version in gui, "tarvex does not depend on its tarvex-cli: %r" % gui)
    check("libqt6widgets6" in gui and "qt6-qpa-plugins" in gui, "tarvex lacks its Qt dependencies: %r" % gui)
    for deb in DEBS.values():
        for name in ("Maintainer", "Description", "Section", "Homepage"):
            check(field(deb, name), "%s has no %s" % (deb, name))


def case_contents():
    cli, gui = contents(DEBS["tarvex-cli"]), contents(DEBS["tarvex"])
    check(not cli & gui, "files in both packages: %r" % (cli & gui))
    def has(files, pattern):
        return any(re.fullmatch(pattern, f) for f in files)
    for pattern in (r"\./usr/bin/tarvex-cli", r"\./usr/lib/.*tarvex/tarvex-cli", r"\./usr/lib/.*tarvex/kobalt\.fp",
                    r"\./usr/lib/.*tarvex/Sample Watermarks/Copyright\.tvx", r"\./usr/share/man/man1/tarvex-cli\.1\.gz",
                    r"\./usr/share/doc/tarvex-cli/copyright", r"\./usr/share/doc/tarvex-cli/changelog\.Debian\.gz"):
        check(has(cli, pattern), "tarvex-cli lacks %s" % pattern)
    for pattern in (r"\./usr/bin/tarvex", r"\./usr/lib/.*tarvex/tarvex", r"\./usr/lib/.*tarvex/help/welcome\.htm",
                    r"\./usr/share/applications/.*\.desktop", r"\./usr/share/mime/packages/.*\.xml",
                    r"\./usr/share/metainfo/.*\.metainfo\.xml", r"\./usr/share/man/man1/tarvex\.1\.gz",
                    r"\./usr/share/icons/hicolor/scalable/apps/.*\.svg", r"\./usr/share/doc/tarvex/copyright"):
        check(has(gui, pattern), "tarvex lacks %s" % pattern)
    # Stripped: no symbol table in any program or plug-in.
    for f in glob.glob(os.path.join(UNPACKED, "usr/lib/**/tarvex/*"), recursive=True):
        if os.path.isfile(f) and open(f, "rb").read(4) == b"\x7fELF":
            sections = must(["readelf", "-S", "-W", f])
            check(".symtab" not in sections, "%s is not stripped" % f)


def case_lintian():
    if not shutil.which("lintian"):
        print("      (lintian is not installed; skipped)")
        return
    rc, out = run(["lintian", "--fail-on", "error,warning"]
                  + list(DEBS.values()), timeout=300)
    check(rc == 0, "lintian reports errors or warnings:\n%s" % out)


def case_headless_batch_without_qt():
    private = glob.glob(os.path.join(UNPACKED, "usr/lib/**/tarvex"), recursive=True)[0]
    cli = os.path.join(UNPACKED, "usr", "bin", "tarvex-cli")
    gui = os.path.join(UNPACKED, "usr", "bin", "tarvex")
    for f in (os.path.join(private, "tarvex-cli"), os.path.join(private, "kobalt.fp"), os.path.join(private, "modern.fp")):
        needed = must(["readelf", "-d", "-W", f])
        check("libQt" not in needed, "%s needs Qt:\n%s" % (f, needed))
    pics, out_dir, home, pictures = prepare_batch(ARGS.build, os.path.join(ROOT, "batch"))
    batch = "'%s' -r -s -q '%s' '%s'" % (cli, os.path.join(private, "Sample Watermarks", "Copyright.tvx"), pics)
    env = headless_env(home)
    qt = sorted(glob.glob("/usr/lib/*/libQt6*.so*"))
    check(qt, "no Qt libraries on this machine to hide")
    can_hide = os.geteuid() == 0 and shutil.which("unshare") and run(["unshare", "--mount", "true"])[0] == 0
    if not can_hide:
        print("      (no mount namespace here to hide Qt in; the batch runs with Qt present)")
        rc, out = run(["sh", "-c", batch], env=env)
    else:
        # In a mount namespace of its own, every Qt library becomes an empty
        # file. The program with windows must fail there (proving Qt is gone);
        # tarvex-cli must not notice.
        hide = "".join("mount --bind /dev/null '%s' || exit 90\n" % f for f in qt)
        script = hide + "'%s' --version >/dev/null 2>&1 && exit 91\n%s\n" % (gui, batch)
        rc, out = run(["unshare", "--mount", "--propagation", "private", "sh", "-c", script], env=env)
        check(rc != 90, "could not hide Qt's libraries:\n%s" % out)
        check(rc != 91, "the program with windows still started: Qt was not hidden")
    check(rc == 0, "tarvex-cli failed with %d:\n%s" % (rc, out))
    check(sorted(os.listdir(out_dir)) == pictures, "written %r, expected %r" % (sorted(os.listdir(out_dir)), pictures))


def case_window_program_from_the_packages():
    # The unpacked tree is a prefix other than the build folder.
    out = must([os.path.join(UNPACKED, "usr", "bin", "tarvex"), "--version"],
               env=headless_env(os.path.join(ROOT, "home-version")))
    check(out == "2.2\n", "tarvex --version printed %r" % out)


def main():
    global ARGS, ROOT, UNPACKED
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--keep", action="store_true")
    parser.add_argument("-k", action="append")
    ARGS = parser.parse_args()
    ROOT = tempfile.mkdtemp(prefix="tvx-deb-")
    UNPACKED = os.path.join(ROOT, "root")
    try:
        out_dir = os.path.join(ROOT, "packages")
        must(["cpack", "--config", os.path.join(ARGS.build, "CPackConfig.cmake"), "-G", "DEB", "-B", out_dir],
             timeout=300)
        for deb in glob.glob(os.path.join(out_dir, "*.deb")):
            DEBS[field(deb, "Package")] = deb
        check(sorted(DEBS) == ["tarvex", "tarvex-cli"], "packages made: %r" % sorted(DEBS))
        for deb in DEBS.values():
            must(["dpkg-deb", "-x", deb, UNPACKED])
        return cases([case_control_fields, case_contents, case_lintian, case_headless_batch_without_qt,
                      case_window_program_from_the_packages], ARGS.k)
    finally:
        if not ARGS.keep:
            shutil.rmtree(ROOT, ignore_errors=True)
        else:
            print("kept", ROOT)


if __name__ == "__main__":
    sys.exit(main())
