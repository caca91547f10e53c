#!/usr/bin/env python3
"""Fault injection for tarvex's headless batch run.

Every case runs the real program on real pictures in a temporary folder, makes
something go wrong (a full disk, a size limit, missing rights, a source that
changes under the run, a signal, a damaged watermark) and then checks what is
left on disk:

  * no source is lost or changed unless the settings say so (hashes);
  * no output is left truncated under its final name, and no temporary file
    stays behind (after SIGKILL one may stay, but never under a final name);
  * every output that exists decodes through the plug-in manager;
  * a failure is reported with a message and a non-zero exit status, and the
    status is zero only when everything asked was done.

Without --long a short form runs (for CTest); --long runs many random kill
points on bigger files, repeated. --jobs N runs tarvex with N workers; the
cases whose moment of damage depends on what one worker has read by then
accept what a worker that read earlier leaves (always a whole output). Exit status: 0 all passed (cases that cannot
run here are reported as skipped), 1 a case failed, 77 nothing could run.
"""

import argparse
import configparser
import hashlib
import json
import os
import random
import re
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback

ARGS = None
PHOTOS = {
    "small": "canon_eos_rebel_t3i.jpg",      # 1152 x 768, 226 KB, EXIF
    "medium": "olympus_pen_e-p3.jpg",        # 234 KB
    "large": "apple_iphone5_gps_orient3.jpg",  # 3264 x 2448, 2.3 MB
}
MAKE = 271  # EXIF Make


class Skip(Exception):
    pass


class Failure(AssertionError):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def sha(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def helper(*args, **kw):
    return subprocess.run([ARGS.helper, ARGS.plugins, *args], capture_output=True, text=True, **kw)


def decodes(path):
    r = helper("decode", path)
    return r.returncode == 0, r.stdout.strip()


def exif(path, tag):
    return helper("exif", path, str(tag)).stdout.strip()


def have_setpriv():
    return shutil.which("setpriv") is not None and os.geteuid() == 0


class Case:
    """A temporary world: sources, an output folder, a home, a settings file."""

    def __init__(self, name):
        self.name = name
        self.root = tempfile.mkdtemp(prefix="tvx-faults-%s-" % name)
        os.chmod(self.root, 0o755)  # reachable by nobody for the permission cases
        self.src = self.mkdir("src")
        self.out = self.mkdir("out")
        self.home = self.mkdir("home", 0o777)
        self.config = os.path.join(self.root, "settings.ini")
        self.watermark = os.path.join(self.root, "wm.tvx")
        r = helper("watermark", self.watermark, "(c) faults <FILE_INDEX>")
        check(r.returncode == 0, "cannot make the watermark: " + r.stderr)
        self.sources = []
        self.settings()

    def mkdir(self, name, mode=0o755):
        path = os.path.join(self.root, name)
        os.makedirs(path, exist_ok=True)
        os.chmod(path, mode)
        return path

    def cleanup(self):
        subprocess.run(["chmod", "-R", "u+rwX", self.root], capture_output=True)
        shutil.rmtree(self.root, ignore_errors=True)

    def settings(self, **values):
        opts = {"DestFolder": self.out, "PlaceInSourceFolder": 0, "AddWmSuffix": 0, "DefaultFileFormat": 1,
                "KeepOriginalFormat": 1, "JPEGQuality": 85, "OverwriteExisting": 2, "RemoveOriginalFiles": 0}
        opts.update(values)
        cp = configparser.ConfigParser()
        cp.optionxform = str
        cp["WatermarkingOptions"] = {k: str(v) for k, v in opts.items()}
        cp["ResizeOptions"] = {"DoResize": "0"}
        with open(self.config, "w") as f:
            cp.write(f, space_around_delimiters=False)
        os.chmod(self.config, 0o644)

    def photo(self, kind, as_name, folder=None):
        target = os.path.join(folder or self.src, as_name)
        shutil.copyfile(os.path.join(ARGS.testdata, "photos", PHOTOS[kind]), target)
        os.chmod(target, 0o644)
        self.sources.append(target)
        return target

    def big(self, as_name, width, height, seed=1):
        target = os.path.join(self.src, as_name)
        r = helper("encode", target, str(width), str(height), str(seed))
        check(r.returncode == 0, "cannot encode a big picture: " + r.stderr)
        os.chmod(target, 0o644)
        self.sources.append(target)
        return target

    def command(self, sources=None, watermark=None, extra=()):
        cmd = [ARGS.tarvex, "--no-gui", "--config", self.config, "-w", watermark or self.watermark]
        if ARGS.jobs is not None:
            cmd += ["--jobs", str(ARGS.jobs)]
        for s in (self.sources if sources is None else sources):
            cmd += ["-a", s]
        return cmd + list(extra) + ["-r", "-s", "-q"]

    def env(self):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env["HOME"] = self.home
        return env

    def run(self, cmd=None, prefix=(), preexec=None, timeout=120):
        r = subprocess.run(list(prefix) + (cmd or self.command()), capture_output=True, text=True,
                           env=self.env(), preexec_fn=preexec, timeout=timeout)
        return r.returncode, r.stderr

    def start(self, cmd=None):
        return subprocess.Popen(cmd or self.command(), stderr=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                text=True, env=self.env())

    def hashes(self):
        return {s: sha(s) for s in self.sources if os.path.exists(s)}


def listing(folder):
    return sorted(os.listdir(folder)) if os.path.isdir(folder) else []


def temporaries(folder):
    return [n for n in listing(folder) if n.startswith(".")]


def check_outputs(folder, allow_temporaries=False, expected=None):
    """Every visible file decodes; hidden ones are temporaries. Returns the visible names."""
    stray = temporaries(folder)
    if not allow_temporaries:
        check(not stray, "temporary files left in %s: %s" % (folder, stray))
    visible = [n for n in listing(folder) if not n.startswith(".")]
    for n in visible:
        path = os.path.join(folder, n)
        if os.path.isdir(path):
            continue
        ok, size = decodes(path)
        check(ok, "output %s does not decode (truncated or damaged under its final name)" % path)
        if expected is not None:
            check(n in expected, "unexpected file %s in %s" % (n, folder))
    return visible


def check_sources(case, before, changed_ok=()):
    for path, digest in before.items():
        if path in changed_ok:
            continue
        check(os.path.exists(path), "source %s was lost" % path)
        check(sha(path) == digest, "source %s was changed" % path)


def check_failed(rc, err, *words):
    check(rc == 1, "exit status %d, expected 1; stderr:\n%s" % (rc, err))
    tail = err.strip().splitlines()[-1] if err.strip() else ""
    check(tail.startswith("tarvex: ") and len(tail) > 12, "no error message on stderr:\n" + err)
    for w in words:
        check(w in err, "message lacks %r:\n%s" % (w, err))


# ---------------------------------------------------------------- disk full

def case_disk_full_tmpfs(case):
    """The output folder is a 1 MiB tmpfs in a private mount namespace."""
    if shutil.which("unshare") is None:
        raise Skip("no unshare")
    probe = subprocess.run(["unshare", "-m", "--propagation", "private", "sh", "-c",
                            "mount -t tmpfs -o size=64k none %s" % case.out], capture_output=True)
    if probe.returncode != 0:
        raise Skip("no private mount namespace here: " + probe.stderr.decode().strip())
    case.photo("small", "a.jpg")
    case.photo("large", "b.jpg")  # its output does not fit
    case.photo("medium", "c.jpg")
    before = case.hashes()
    for remove in (0, 1):
        case.settings(RemoveOriginalFiles=remove)
        snapshot = case.mkdir("snapshot%d" % remove)
        script = ('mount -t tmpfs -o size=1m none "$1" || exit 99; shift; "$@"; rc=$?; '
                  'cp -a "%s/." "%s/" ; exit $rc' % (case.out, snapshot))
        rc, err = case.run(prefix=["unshare", "-m", "--propagation", "private", "sh", "-c", script, "sh",
                                   case.out])
        check(rc != 99, "mount failed in the namespace")
        check_failed(rc, err, "b.jpg")
        visible = check_outputs(snapshot, expected={"a.jpg"})
        check("a.jpg" in visible, "the output written before the failure is gone")
        check(os.path.exists(case.sources[0]) != bool(remove), "a.jpg removed: %s, asked: %d" % (
            not os.path.exists(case.sources[0]), remove))
        check_sources(case, {s: d for s, d in before.items() if s != case.sources[0]})


def case_disk_full_in_place(case):
    """Sources and outputs on a full tmpfs, written over the sources, originals removed.
    Several fill levels, so that the disk fills at different steps of the run."""
    if shutil.which("unshare") is None:
        raise Skip("no unshare")
    stash = case.mkdir("stash")
    case.photo("small", "a.jpg", stash)
    case.photo("medium", "b.jpg", stash)
    originals = {os.path.basename(p): sha(p) for p in case.sources}
    case.settings(PlaceInSourceFolder=1, AddWmSuffix=0, RemoveOriginalFiles=1, JPEGQuality=100)
    names = ["a.jpg", "b.jpg"]
    ends = []
    for filler in (0, 500, 800, 1200, 1400):
        snapshot = os.path.join(case.root, "snapshot%d" % filler)
        os.mkdir(snapshot)
        script = ('mount -t tmpfs -o size=2m none "$1" || exit 99; cp "%s/a.jpg" "%s/b.jpg" "$1/"; '
                  'head -c %dk /dev/zero > "$1/.filler"; shift; "$@"; rc=$?; rm -f "%s/.filler"; '
                  'cp -a "%s/." "%s/"; exit $rc' % (stash, stash, filler, case.out, case.out, snapshot))
        cmd = case.command(sources=[os.path.join(case.out, n) for n in names])
        rc, err = case.run(cmd=cmd, prefix=["unshare", "-m", "--propagation", "private", "sh", "-c", script,
                                            "sh", case.out])
        if rc == 99:
            raise Skip("no private mount namespace here")
        last = err.strip().splitlines()[-1] if err.strip() else ""
        ends.append("%dk: %d %s" % (filler, rc, last))
        try:
            check(rc in (0, 1), "exit status %d:\n%s" % (rc, err))
            if rc == 1:
                check_failed(rc, err)
            check_outputs(snapshot, expected=set(names))
            for n in names:
                path = os.path.join(snapshot, n)
                check(os.path.exists(path), "%s was lost (written over itself with originals removed)" % n)
                if rc == 0:
                    check(sha(path) != originals[n], "%s is not watermarked although the run succeeded" % n)
        except Failure as e:
            raise Failure("[filler %dk] %s" % (filler, e))
    if ARGS.verbose:
        print("     " + "\n     ".join(ends))


def case_file_size_limit(case):
    """RLIMIT_FSIZE below the size of an output: the write must fail cleanly (EFBIG), not kill.
    Both ways of writing: re-encoding (a text layer) and the byte copy (EXIF fields only)."""
    case.photo("small", "a.jpg")
    case.photo("large", "b.jpg")
    case.photo("medium", "c.jpg")
    before = case.hashes()
    limit = 600 * 1024

    def limited():
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
        signal.signal(signal.SIGXFSZ, signal.SIG_DFL)  # as a shell would leave it

    copyright_only = os.path.join(case.root, "copyright.tvx")
    check(helper("copyright", copyright_only, "(c) faults").returncode == 0, "cannot make the watermark")
    for kind, watermark in (("layers", case.watermark), ("exif only", copyright_only)):
        shutil.rmtree(case.out)
        case.out = case.mkdir("out")
        case.settings()
        rc, err = case.run(cmd=case.command(watermark=watermark), preexec=limited)
        try:
            check(rc != -signal.SIGXFSZ, "tarvex was killed by SIGXFSZ instead of failing the write")
            check_failed(rc, err, "b.jpg")
            check_outputs(case.out, expected={"a.jpg"})
            check(os.path.exists(os.path.join(case.out, "a.jpg")), "the first output is gone")
            check_sources(case, before)
        except Failure as e:
            raise Failure("[%s] %s" % (kind, e))
    check(exif(os.path.join(case.out, "a.jpg"), 33432).startswith("(c) faults"), "the copyright was not written")


# ------------------------------------------------------- folders and rights

def case_destination_missing(case):
    case.photo("small", "a.jpg")
    before = case.hashes()
    missing = os.path.join(case.root, "no", "such", "folder")
    case.settings(DestFolder=missing)
    rc, err = case.run()
    if rc == 0:
        # Creating the folder is a sound answer too; then the output must be whole.
        check_outputs(missing, expected={"a.jpg"})
        check(os.path.exists(os.path.join(missing, "a.jpg")), "success reported, nothing written")
    else:
        check_failed(rc, err, "a.jpg")
        check(not os.path.exists(missing), "a half-made destination folder stayed")
    check_sources(case, before)


def case_output_is_a_folder(case):
    case.photo("small", "a.jpg")
    case.photo("medium", "b.jpg")
    os.mkdir(os.path.join(case.out, "a.jpg"))
    before = case.hashes()
    case.settings(OverwriteExisting=2)  # Replace
    rc, err = case.run()
    check_failed(rc, err, "a.jpg")
    check(os.path.isdir(os.path.join(case.out, "a.jpg")), "the folder in the output's place was removed")
    check(temporaries(case.out) == [], "temporary files left: %s" % temporaries(case.out))
    check(not os.path.exists(os.path.join(case.out, "b.jpg")), "the run went on after the error")
    check_sources(case, before)
    # Rename steps past the folder.
    case.settings(OverwriteExisting=3)
    rc, err = case.run()
    check(rc == 0, "rename past a folder failed (%d):\n%s" % (rc, err))
    check_outputs(case.out, expected={"a.jpg", "a(1).jpg", "b.jpg"})


def as_nobody():
    if not have_setpriv():
        raise Skip("setpriv unavailable or not root")
    probe = subprocess.run(["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "true"],
                           capture_output=True)
    if probe.returncode != 0:
        raise Skip("setpriv cannot switch to nobody here")
    return ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"]


def case_destination_read_only(case):
    nobody = as_nobody()
    case.photo("small", "a.jpg")
    before = case.hashes()
    os.chmod(case.out, 0o555)
    rc, err = case.run(prefix=nobody)
    check_failed(rc, err, "a.jpg")
    check(listing(case.out) == [], "something was written into a read-only folder")
    check_sources(case, before)


def case_source_unreadable(case):
    nobody = as_nobody()
    case.photo("small", "a.jpg")
    case.photo("medium", "b.jpg")
    case.photo("small", "c.jpg")
    os.chmod(case.sources[1], 0o000)
    os.chmod(case.out, 0o777)
    before = case.hashes()
    rc, err = case.run(prefix=nobody)
    check_failed(rc, err, "b.jpg")
    check_outputs(case.out, expected={"a.jpg"})
    check("a.jpg" in listing(case.out), "the first output is missing")
    check_sources(case, before)


# ---------------------------------------- sources that change under the run

def damage(path, how):
    if how == "deleted":
        os.unlink(path)
    elif how == "truncated":
        with open(path, "r+b") as f:
            f.truncate(600)  # inside the headers: nothing can be decoded
    elif how == "garbage":
        with open(path, "wb") as f:
            f.write(os.urandom(50000))
    elif how == "png":
        os.unlink(path)
        r = helper("encode", path[:-4] + ".png", "400", "300")
        check(r.returncode == 0, "cannot encode a png")
        os.rename(path[:-4] + ".png", path)


def wait_until_stopped(pid, timeout=10.0):
    """SIGSTOP takes effect a little later on a busy machine: waits until every thread is stopped."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        try:
            states = []
            for task in os.listdir("/proc/%d/task" % pid):
                with open("/proc/%d/task/%s/stat" % (pid, task)) as f:
                    states.append(f.read().rsplit(")", 1)[1].split()[0])
        except (FileNotFoundError, ProcessLookupError):
            return
        if all(state in ("T", "t", "Z", "X") for state in states):
            return
        time.sleep(0.001)


def run_with_damage(case, how, cmd=None):
    """Starts the run, stops it while it is at the first (big) file, damages the second, lets it go on."""
    proc = case.start(cmd)
    lines = []
    stopped = False
    for line in proc.stderr:
        lines.append(line)
        if line.startswith("[1/") and not stopped:
            proc.send_signal(signal.SIGSTOP)
            wait_until_stopped(proc.pid)
            stopped = True
            damage(case.sources[1], how)
            proc.send_signal(signal.SIGCONT)
    proc.wait(timeout=120)
    check(stopped, "the run never reported its first file:\n" + "".join(lines))
    return proc.returncode, "".join(lines)


def case_source_changes_under_the_run(case):
    for how in ("deleted", "truncated", "garbage", "png"):
        shutil.rmtree(case.out)
        case.out = case.mkdir("out")
        case.settings()
        for s in case.sources:
            if os.path.exists(s):
                os.unlink(s)
        case.sources = []
        case.big("a.jpg", 3000, 2000)  # slow enough to be caught at
        case.photo("small", "b.jpg")
        case.photo("medium", "c.jpg")
        before = case.hashes()
        rc, err = run_with_damage(case, how)
        try:
            if parallel() and rc == 0 and "b.jpg" in listing(case.out):
                # a worker read b.jpg whole before it was damaged: its output is whole too
                check_outputs(case.out, expected={"a.jpg", "b.jpg", "c.jpg"})
                check(set(listing(case.out)) == {"a.jpg", "b.jpg", "c.jpg"}, "outputs: %s" % listing(case.out))
            elif how == "deleted":
                # a row whose file is gone is passed over; the rest is done
                check(rc == 0, "exit %d:\n%s" % (rc, err))
                check("1 missing" in err, "the missing file is not reported:\n" + err)
                check_outputs(case.out, expected={"a.jpg", "c.jpg"})
                check(set(listing(case.out)) == {"a.jpg", "c.jpg"}, "outputs: %s" % listing(case.out))
            elif how == "png":
                # the codec recognises the content: a whole output or an error, never a partial one
                if rc == 0:
                    check_outputs(case.out, expected={"a.jpg", "b.jpg", "c.jpg"})
                    check(len(listing(case.out)) == 3, "success reported, outputs: %s" % listing(case.out))
                else:
                    check_failed(rc, err, "b.jpg")
                    check_outputs(case.out, expected={"a.jpg"})
            else:
                check_failed(rc, err, "b.jpg")
                check_outputs(case.out, expected={"a.jpg"})
                check(listing(case.out) == ["a.jpg"], "outputs: %s" % listing(case.out))
            check_sources(case, before, changed_ok={case.sources[1]})
        except Failure as e:
            raise Failure("[%s] %s" % (how, e))


def case_source_is_a_fifo(case):
    """A FIFO named like a picture must end the run with an error, not hang it."""
    copyright_only = os.path.join(case.root, "copyright.tvx")
    check(helper("copyright", copyright_only, "(c) faults").returncode == 0, "cannot make the watermark")
    case.photo("small", "a.jpg")
    fifo = os.path.join(case.src, "b.jpg")
    os.mkfifo(fifo)
    case.sources.append(fifo)
    for kind, watermark in (("layers", case.watermark), ("exif only", copyright_only)):
        shutil.rmtree(case.out)
        case.out = case.mkdir("out")
        case.settings()
        try:
            rc, err = case.run(cmd=case.command(watermark=watermark), timeout=30)
        except subprocess.TimeoutExpired:
            raise Failure("[%s] the run hangs on a FIFO" % kind)
        try:
            check_failed(rc, err, "b.jpg")
            check(listing(case.out) == ["a.jpg"], "outputs: %s" % listing(case.out))
            check_outputs(case.out)
        except Failure as e:
            raise Failure("[%s] %s" % (kind, e))


# --------------------------------------------------------------- signals

def big_sources(case, count, width, height):
    for i in range(count):
        case.big("p%d.jpg" % i, width, height, seed=i + 1)


def parallel():
    return ARGS.jobs is not None and ARGS.jobs > 1


def wait_for_file(path, proc, timeout=60):
    ends = time.monotonic() + timeout
    while not os.path.exists(path) and proc.poll() is None and time.monotonic() < ends:
        time.sleep(0.005)


def case_sigint(case, count=4, width=6000, height=4000, sig=signal.SIGINT):
    """The signal lands while the second picture is made. Its delay follows this
    machine's pace (a third of the time the first picture took, at most 0.3 s)
    and at least two pictures come after, so the run cannot finish first.
    With several workers the pictures are started together: the signal lands
    right after the first output is renamed into place."""
    check(count >= 4, "a signal case needs two pictures after the interrupted one")
    big_sources(case, count, width, height)
    before = case.hashes()
    proc = case.start()
    lines = []
    first = None
    for line in proc.stderr:
        lines.append(line)
        if line.startswith("[1/") and parallel():
            wait_for_file(os.path.join(case.out, "p0.jpg"), proc)
            proc.send_signal(sig)
            break
        if line.startswith("[1/"):
            first = time.monotonic()
        elif line.startswith("[2/"):
            per_picture = time.monotonic() - first if first is not None else 0.0
            time.sleep(min(0.3, per_picture / 3))
            proc.send_signal(sig)
            break
    rest = proc.stderr.read()
    proc.wait(timeout=120)
    err = "".join(lines) + rest
    check(proc.returncode == 130, "exit %d after %s, expected 130:\n%s" % (proc.returncode, sig.name, err))
    check("cancelled" in err, "the interruption is not reported:\n" + err)
    outputs = check_outputs(case.out, expected={"p%d.jpg" % i for i in range(count)})
    check("p0.jpg" in outputs, "the output finished before the interruption is gone")
    # the report counts what is on disk (the signal may land after the last picture was written)
    written = re.search(r"cancelled after (\d+) picture", err)
    check(written and int(written.group(1)) == len(outputs),
          "the report does not match the %d output(s):\n%s" % (len(outputs), err))
    check_sources(case, before)


def case_sigterm_then_rerun(case, count=5, width=4000, height=3000):
    """A job runner stops a run with SIGTERM and starts it again with --overwrite skip:
    the first run leaves only whole outputs and nothing hidden, the second writes
    the rest only (the outputs of the first keep their bytes and their inode), and
    the outputs are those of one undisturbed run."""
    big_sources(case, count, width, height)
    before = case.hashes()
    rc, err = case.run()
    check(rc == 0, "the undisturbed run failed:\n" + err)
    reference = {n: sha(os.path.join(case.out, n)) for n in listing(case.out)}
    shutil.rmtree(case.out)
    case.out = case.mkdir("out")
    proc = subprocess.Popen(case.command(extra=["--progress", "jsonl"]), stderr=subprocess.PIPE,
                            stdout=subprocess.PIPE, text=True, env=case.env())
    for line in proc.stderr:
        if line.startswith("[1/"):
            wait_for_file(os.path.join(case.out, "p0.jpg"), proc)
            proc.send_signal(signal.SIGTERM)
            break
    out, err = proc.communicate(timeout=120)
    check(proc.returncode == 130, "exit %d after SIGTERM, expected 130:\n%s" % (proc.returncode, err))
    first = check_outputs(case.out, expected=set(reference))
    # The JSON lines end with their final object, and name exactly what is on disk.
    objects = [json.loads(l) for l in out.splitlines()]
    check(objects and objects[-1].get("final") and objects[-1]["exit"] == 130 and
          objects[-1]["status"] == "cancelled", "no final object with exit 130:\n" + out)
    written = sorted(os.path.basename(o["output"]) for o in objects if o.get("status") == "written")
    check(written == sorted(first), "JSON lines %s, outputs %s" % (written, first))
    check(len(first) < count, "the run finished before the signal; nothing left to complete")
    kept = {n: (os.stat(os.path.join(case.out, n)).st_ino, sha(os.path.join(case.out, n))) for n in first}
    case.settings(OverwriteExisting=0)  # Ask: the option must take over
    rc, err = case.run(cmd=case.command(extra=["--overwrite", "skip"]))
    check(rc == 0, "the rerun failed (%d):\n%s" % (rc, err))
    check("%d skipped" % len(first) in err, "the rerun does not report %d skipped:\n%s" % (len(first), err))
    check_outputs(case.out, expected=set(reference))
    check({n: sha(os.path.join(case.out, n)) for n in listing(case.out)} == reference,
          "the outputs differ from an undisturbed run's")
    for n, (inode, digest) in kept.items():
        check(os.stat(os.path.join(case.out, n)).st_ino == inode, "%s was written again" % n)
    check_sources(case, before)


def case_reader_goes_away(case, count=5, width=3000, height=2000):
    """The reader of the JSON lines closes the pipe after the first line: the run
    ends like a cancel (status 130), with whole outputs only and nothing hidden."""
    big_sources(case, count, width, height)
    before = case.hashes()
    proc = subprocess.Popen(case.command(extra=["--progress", "jsonl"]), stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, env=case.env())
    first = proc.stdout.readline()
    proc.stdout.close()
    err = proc.stderr.read().decode(errors="replace")
    proc.wait(timeout=120)
    check(json.loads(first).get("status") == "written", "the first line: %r" % first)
    check(proc.returncode == 130, "exit %d after the reader went, expected 130:\n%s" % (proc.returncode, err))
    outputs = check_outputs(case.out, expected={"p%d.jpg" % i for i in range(count)})
    check(len(outputs) < count, "the run went on to the end without its reader")
    check_sources(case, before)


def kill_once(case, delay, in_place):
    proc = case.start()
    time.sleep(delay)
    proc.kill()
    proc.communicate(timeout=60)
    names = {os.path.basename(s) for s in case.sources}
    folder = case.src if in_place else case.out
    check_outputs(folder, allow_temporaries=True, expected=names)


def case_sigkill(case, kills=3, count=3, width=3000, height=2000, rng=None, remove=False):
    """SIGKILL at random moments; with remove, the originals are deleted after writing:
    then every source must still exist or have a whole output."""
    rng = rng or random.Random(ARGS.seed)
    big_sources(case, count, width, height)
    originals = case.hashes()
    restore(case, originals)
    started = time.monotonic()
    rc, err = case.run()
    full = time.monotonic() - started
    check(rc == 0, "the undisturbed run failed:\n" + err)
    for k in range(kills):
        shutil.rmtree(case.out)
        case.out = case.mkdir("out")
        case.settings(RemoveOriginalFiles=int(remove))
        restore(case, originals)
        delay = rng.uniform(0.02, full)
        try:
            kill_once(case, delay, False)
            check(not temporaries(case.src), "temporary files in the source folder")
            for s in case.sources:
                if remove and not os.path.exists(s):
                    out = os.path.join(case.out, os.path.basename(s))
                    check(os.path.exists(out), "%s was removed but its output is missing" % s)
            check_sources(case, {s: d for s, d in originals.items() if os.path.exists(s)})
        except Failure as e:
            raise Failure("SIGKILL at %.2fs of %.2fs: %s" % (delay, full, e))


def restore(case, originals):
    """Puts the original pictures back (the in-place runs overwrite them)."""
    store = os.path.join(case.root, "originals")
    if not os.path.isdir(store):
        os.mkdir(store)
        for s in case.sources:
            shutil.copyfile(s, os.path.join(store, os.path.basename(s)))
    for n in listing(case.src):
        os.unlink(os.path.join(case.src, n))
    for s in case.sources:
        shutil.copyfile(os.path.join(store, os.path.basename(s)), s)


def case_sigkill_in_place(case, kills=3, count=3, width=3000, height=2000):
    rng = random.Random(ARGS.seed + 1)
    big_sources(case, count, width, height)
    originals = {s: sha(s) for s in case.sources}
    restore(case, originals)
    case.settings(PlaceInSourceFolder=1, AddWmSuffix=0, RemoveOriginalFiles=1)
    started = time.monotonic()
    rc, err = case.run()
    full = time.monotonic() - started
    check(rc == 0, "the undisturbed run failed:\n" + err)
    for s in case.sources:
        check(sha(s) != originals[s], "%s was not watermarked in place" % s)
    for k in range(kills):
        restore(case, originals)
        delay = rng.uniform(0.02, full)
        try:
            kill_once(case, delay, True)
            for s in case.sources:
                check(os.path.exists(s), "source %s lost" % s)
        except Failure as e:
            raise Failure("SIGKILL at %.2fs of %.2fs: %s" % (delay, full, e))


def case_kill_campaign(case, runs, kind, seed):
    """kill -9 at random moments of a run that writes over its sources and removes originals.
    Afterwards every source must hold exactly its original bytes or exactly the finished
    replacement (what an undisturbed run writes), never anything in between. With kind "exif"
    the watermark has no layers, so the run is nearly all EXIF rewrites (CopyExif, WriteExif)."""
    rng = random.Random(seed)
    for i, photo in enumerate(("small", "medium", "large", "small", "medium")):
        case.photo(photo, "p%d.jpg" % i)
    names = {os.path.basename(s) for s in case.sources}
    watermark = case.watermark
    if kind == "exif":
        watermark = os.path.join(case.root, "copyright.tvx")
        check(helper("copyright", watermark, "(c) kill -9").returncode == 0, "cannot make the watermark")
    cmd = case.command(watermark=watermark)
    case.settings(PlaceInSourceFolder=1, AddWmSuffix=0, RemoveOriginalFiles=1, OverwriteExisting=2)
    originals = case.hashes()
    finals = None
    for attempt in range(2):  # twice: the finished replacement must not depend on the moment
        restore(case, originals)
        started = time.monotonic()
        rc, err = case.run(cmd=cmd)
        full = time.monotonic() - started
        check(rc == 0, "the undisturbed run failed:\n" + err)
        done = case.hashes()
        check(finals is None or done == finals, "two undisturbed runs wrote different files")
        finals = done
    for s in case.sources:
        check(finals[s] != originals[s], "%s was not replaced by the undisturbed run" % s)
        if kind == "exif":
            check(exif(s, 33432).startswith("(c) kill -9"), "%s did not get its copyright" % s)
    check_outputs(case.src, expected=names)

    violations, mid_run, in_writes = [], 0, 0
    for k in range(runs):
        restore(case, originals)
        delay = rng.uniform(0, full)
        proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=case.env())
        time.sleep(delay)
        mid_run += proc.poll() is None
        proc.kill()
        proc.wait(timeout=60)
        left = listing(case.src)
        in_writes += any(n.startswith("..") for n in left)  # a plug-in's own temporary file
        for s in case.sources:
            state = sha(s) if os.path.exists(s) else None
            if state not in (originals[s], finals[s]):
                what = "lost" if state is None else "neither the original nor the finished picture"
                violations.append("run %d (kill at %.3fs of %.3fs): %s is %s" % (k, delay, full, s, what))
        stray = [n for n in left if not n.startswith(".") and n not in names]
        if stray:
            violations.append("run %d: files under final names that are no pictures of the run: %s" % (k, stray))
    print("     kill -9, %s: %d runs (%d during the run, %d inside a plug-in write), %d violations"
          % (kind, runs, mid_run, in_writes, len(violations)), flush=True)
    check(not violations, "%d of %d runs broke the invariant:\n  %s" % (
        len(violations), runs, "\n  ".join(violations[:10])))


# ------------------------------------------------------ lists and settings

def case_same_file_twice(case):
    a = case.photo("small", "a.jpg")
    case.sources = [a, a]
    before = case.hashes()
    case.settings(OverwriteExisting=3)  # Rename
    rc, err = case.run()
    check(rc == 0, "exit %d:\n%s" % (rc, err))
    check_outputs(case.out, expected={"a.jpg", "a(1).jpg"})
    check(len(listing(case.out)) == 2, "outputs: %s" % listing(case.out))
    check_sources(case, before)
    # In the source folder with the suffix, originals removed: the second row is gone, not an error.
    shutil.rmtree(case.out)
    case.out = case.mkdir("out")
    case.settings(PlaceInSourceFolder=1, AddWmSuffix=1, RemoveOriginalFiles=1, OverwriteExisting=3)
    rc, err = case.run()
    check(rc == 0, "exit %d:\n%s" % (rc, err))
    check(listing(case.src) == ["a_wm.jpg"], "source folder: %s" % listing(case.src))
    check_outputs(case.src, expected={"a_wm.jpg"})


def case_output_is_source_with_remove(case):
    a = case.photo("small", "a.jpg")
    b = case.photo("medium", "b.jpg")
    make = {s: exif(s, MAKE) for s in case.sources}
    before = case.hashes()
    case.settings(PlaceInSourceFolder=1, AddWmSuffix=0, RemoveOriginalFiles=1, OverwriteExisting=2)
    rc, err = case.run(cmd=case.command(sources=[a, b, a]))
    check(rc == 0, "exit %d:\n%s" % (rc, err))
    check(listing(case.src) == ["a.jpg", "b.jpg"], "source folder: %s" % listing(case.src))
    check_outputs(case.src, expected={"a.jpg", "b.jpg"})
    for s in case.sources:
        check(sha(s) != before[s], "%s is not watermarked" % s)
        check(make[s] and exif(s, MAKE) == make[s], "%s lost its EXIF" % s)


def case_damaged_watermark(case):
    case.photo("small", "a.jpg")
    before = case.hashes()
    good = open(case.watermark, "rb").read()
    damaged = {
        "truncated": good[: len(good) // 2],
        "header only": good[:8],
        "garbage": b"TVX1" + os.urandom(400),
        "no signature": os.urandom(300),
        "empty": b"",
    }
    named = {"truncated", "garbage"}  # read far enough to fail: the message names the file
    for how, data in damaged.items():
        path = os.path.join(case.root, "damaged.tvx")
        with open(path, "wb") as f:
            f.write(data)
        rc, err = case.run(cmd=case.command(watermark=path))
        try:
            check(rc == 1, "exit %d:\n%s" % (rc, err))
            check(err.strip(), "no message")
            if how in named:
                check("damaged.tvx" in err, "the message does not name the watermark file:\n" + err)
            check(listing(case.out) == [], "something was written: %s" % listing(case.out))
        except Failure as e:
            raise Failure("[%s] %s" % (how, e))
    check_sources(case, before)


SHORT = [
    ("disk_full_tmpfs", case_disk_full_tmpfs),
    ("disk_full_in_place", case_disk_full_in_place),
    ("file_size_limit", case_file_size_limit),
    ("destination_missing", case_destination_missing),
    ("destination_read_only", case_destination_read_only),
    ("output_is_a_folder", case_output_is_a_folder),
    ("source_unreadable", case_source_unreadable),
    ("source_changes_under_the_run", case_source_changes_under_the_run),
    ("source_is_a_fifo", case_source_is_a_fifo),
    ("sigint", case_sigint),
    ("sigterm", lambda c: case_sigint(c, count=4, width=4000, height=3000, sig=signal.SIGTERM)),
    ("sigterm_then_rerun", case_sigterm_then_rerun),
    ("reader_goes_away", case_reader_goes_away),
    ("sigkill", lambda c: case_sigkill(c, kills=2)),
    ("sigkill_removing_originals", lambda c: case_sigkill(c, kills=2, width=2000, height=1500, remove=True)),
    ("sigkill_in_place", lambda c: case_sigkill_in_place(c, kills=3, width=2000, height=1500)),
    ("kill_campaign_layers", lambda c: case_kill_campaign(c, ARGS.kill_runs, "layers", ARGS.seed + 7)),
    ("kill_campaign_exif", lambda c: case_kill_campaign(c, ARGS.kill_runs, "exif", ARGS.seed + 8)),
    ("same_file_twice", case_same_file_twice),
    ("output_is_source_with_remove", case_output_is_source_with_remove),
    ("damaged_watermark", case_damaged_watermark),
]


def long_cases():
    cases = list(SHORT)
    for r in range(ARGS.repeat):
        cases += [
            ("long_sigint_%d" % r, lambda c: case_sigint(c, count=4, width=6000, height=4000)),
            ("long_sigkill_%d" % r, lambda c, r=r: case_sigkill(c, kills=ARGS.kills, count=4, width=6000,
                                                                height=4000, rng=random.Random(ARGS.seed + r))),
            ("long_sigkill_removing_%d" % r, lambda c, r=r: case_sigkill(
                c, kills=ARGS.kills, count=4, width=4000, height=3000, rng=random.Random(ARGS.seed + 100 + r),
                remove=True)),
            ("long_sigkill_in_place_%d" % r,
             lambda c: case_sigkill_in_place(c, kills=ARGS.kills, count=3, width=6000, height=4000)),
            ("long_source_changes_%d" % r, case_source_changes_under_the_run),
        ]
    return cases


def main():
    global ARGS
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--tarvex", required=True)
    p.add_argument("--helper", required=True)
    p.add_argument("--plugins", required=True)
    p.add_argument("--testdata", required=True)
    p.add_argument("--long", action="store_true")
    p.add_argument("--kills", type=int, default=25)
    p.add_argument("--kill-runs", type=int, default=None,
                   help="kill -9 runs of the in-place campaign, with layers and again EXIF only "
                        "(default 50 each, 1000 each with --long)")
    p.add_argument("--repeat", type=int, default=3)
    p.add_argument("--jobs", type=int, default=None, help="worker threads of tarvex (default: its own default)")
    p.add_argument("--seed", type=int, default=int(os.environ.get("TVX_FAULTS_SEED", "1")))
    p.add_argument("-v", dest="verbose", action="store_true")
    p.add_argument("-k", dest="only", default="", help="run only cases whose name contains this")
    ARGS = p.parse_args()
    if ARGS.kill_runs is None:
        ARGS.kill_runs = 1000 if ARGS.long else 50
    if not os.path.isdir(os.path.join(ARGS.testdata, "photos")):
        print("SKIP: no shared testdata at %s" % ARGS.testdata)
        return 77
    cases = long_cases() if ARGS.long else SHORT
    failed, skipped, passed = [], [], []
    for name, fn in cases:
        if ARGS.only and ARGS.only not in name:
            continue
        case = Case(name)
        started = time.monotonic()
        try:
            fn(case)
            passed.append(name)
            print("PASS %-34s %5.1fs" % (name, time.monotonic() - started), flush=True)
        except Skip as e:
            skipped.append(name)
            print("SKIP %-34s %s" % (name, e), flush=True)
        except Exception as e:  # a failed check or a broken case: both are failures
            failed.append(name)
            detail = str(e) if isinstance(e, Failure) else traceback.format_exc()
            print("FAIL %-34s %s" % (name, detail), flush=True)
            print("     kept for inspection: %s" % case.root, flush=True)
            continue
        case.cleanup()
    print("%d passed, %d failed, %d skipped (seed %d)" % (len(passed), len(failed), len(skipped), ARGS.seed))
    if failed:
        return 1
    return 0 if passed else 77


if __name__ == "__main__":
    sys.exit(main())
