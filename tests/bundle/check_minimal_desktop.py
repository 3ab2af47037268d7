#!/usr/bin/env python3
"""A medium's viewer starts on the smallest desktop the bundle is made for.

That desktop is a Debian 12 root of debootstrap's minbase variant holding only the packages of the desktop's base
(the list the build's bundle module keeps): no Qt, no libOpenGL, nothing the bundle carries. It is built once and
kept outside the source tree (in $XDG_CACHE_HOME/orblane-minbase, or /var/cache/orblane-minbase); a changed package
list builds a new one. The staged viewer runs in it through chroot, in a private mount namespace (unshare -m, so
root) where the medium is mounted read-only, on a private Xvfb of the host whose socket is bound into the root.
The study list must come up, its first study must open with a page shown, and no library may be missing: neither
in that run nor, asked of the root's own loader, for any program or library VIEWER/ carries. Exit 77 (skipped) when
not root, or when the root is missing and no Debian mirror answers.
"""
import argparse
import fcntl
import glob
import hashlib
import os
import re
import shlex
import shutil
import subprocess
import sys
import time
import urllib.request

import check_bundle
from check_bundle import fail

SUITE = "bookworm"
FALLBACK_MIRROR = "http://deb.debian.org/debian"
LOADER = "/lib64/ld-linux-x86-64.so.2"
# Where the medium appears inside the root.
MEDIUM_IN_ROOT = "/media/orblane"
# More than a few minutes only when the mirror is slow; the runs themselves take seconds.
DEBOOTSTRAP_SECONDS = 900
SKIPPED = 77
# The first study opens in the viewer, so that an image is decoded and shown on that desktop too; one Escape closes
# the viewer, the next ends the program.
KEYS = ",".join(["Home", "Return"] + ["Wait"] * 8 + ["Escape", "Wait", "Escape"])
VIEWER_OPENED = "trace viewer opened "
PAGE_SHOWN = "trace page "


def cache_folder():
    xdg = os.environ.get("XDG_CACHE_HOME")
    return os.path.join(xdg, "orblane-minbase") if xdg else "/var/cache/orblane-minbase"


def configured_mirror():
    """The machine's own Debian mirror for the suite (one-line and deb822 sources), else deb.debian.org."""
    for path in ["/etc/apt/sources.list"] + sorted(glob.glob("/etc/apt/sources.list.d/*.list")):
        if not os.path.isfile(path):
            continue
        with open(path) as file:
            for line in file:
                words = re.sub(r"\[[^]]*\]", "", line.split("#", 1)[0]).split()
                if len(words) >= 4 and words[0] == "deb" and words[2] == SUITE and "main" in words[3:]:
                    return words[1].rstrip("/")
    for path in sorted(glob.glob("/etc/apt/sources.list.d/*.sources")):
        with open(path) as file:
            stanzas = file.read().split("\n\n")
        for stanza in stanzas:
            fields = {}
            for line in stanza.splitlines():
                if ":" in line and not line.startswith(("#", " ")):
                    key, value = line.split(":", 1)
                    fields[key.strip().lower()] = value.split()
            if ("deb" in fields.get("types", []) and SUITE in fields.get("suites", [])
                    and "main" in fields.get("components", []) and fields.get("uris")
                    and fields.get("enabled", ["yes"]) != ["no"]):
                return fields["uris"][0].rstrip("/")
    return FALLBACK_MIRROR


def mirror_answers(mirror):
    try:
        with urllib.request.urlopen(f"{mirror}/dists/{SUITE}/Release", timeout=20) as response:
            return response.status == 200
    except OSError:
        return False


def minimal_root(packages):
    """The cached root for these packages, built when missing: its path, or None when it cannot be had."""
    cache = cache_folder()
    os.makedirs(cache, exist_ok=True)
    key = hashlib.sha256("\n".join([SUITE] + sorted(packages)).encode()).hexdigest()[:12]
    root = os.path.join(cache, f"{SUITE}-{key}")
    # Two test runs at once build the root once; the second waits and takes it.
    with open(os.path.join(cache, ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if os.path.isdir(root):
            print(f"minimal desktop root: {root} (cached)")
            return root
        if not shutil.which("debootstrap"):
            print("skipped: debootstrap missing (scripts/install-deps installs it)")
            return None
        mirror = configured_mirror()
        if not mirror_answers(mirror):
            print(f"skipped: no minimal desktop root cached and the mirror {mirror} does not answer")
            return None
        # Roots of earlier package lists and a half-built one would only take disk space.
        for stale in glob.glob(os.path.join(cache, f"{SUITE}-*")):
            shutil.rmtree(stale, ignore_errors=True)
        building = root + ".part"
        log = os.path.join(cache, "debootstrap.log")
        command = ["debootstrap", "--variant=minbase", "--include=" + ",".join(packages), SUITE, building, mirror]
        print("building the minimal desktop root: " + " ".join(shlex.quote(part) for part in command))
        started = time.monotonic()
        with open(log, "w") as output:
            try:
                result = subprocess.run(command, stdout=output, stderr=subprocess.STDOUT,
                                        timeout=DEBOOTSTRAP_SECONDS).returncode
            except subprocess.TimeoutExpired:
                result = "timed out"
        if result != 0:
            with open(log) as output:
                print("".join(output.readlines()[-20:]), file=sys.stderr)
            shutil.rmtree(building, ignore_errors=True)
            fail(f"debootstrap failed ({result}), its log is {log}")
            return None
        # The downloaded packages are a fifth of the root and never needed again.
        for package in glob.glob(os.path.join(building, "var/cache/apt/archives/*.deb")):
            os.remove(package)
        os.makedirs(building + MEDIUM_IN_ROOT, exist_ok=True)
        os.rename(building, root)
        print(f"built the minimal desktop root in {time.monotonic() - started:.0f} s: {root}")
        return root


def namespace_script(root, medium, command):
    """The shell text run inside `unshare -m`: the root gets /dev, /proc, an empty /tmp with the host's X sockets
    and the medium read-only; then `command` (a shell text) runs in it. Nothing is written into the cached root."""
    q = shlex.quote
    lines = ["set -e", "mount --make-rprivate /",
             f"mount --rbind /dev {q(root + '/dev')}",
             f"mount --rbind /proc {q(root + '/proc')}",
             f"mount -t tmpfs tmpfs {q(root + '/tmp')}",
             f"mkdir {q(root + '/tmp/.X11-unix')}",
             f"mount --bind /tmp/.X11-unix {q(root + '/tmp/.X11-unix')}",
             f"mount --bind {q(medium)} {q(root + MEDIUM_IN_ROOT)}",
             f"mount -o remount,bind,ro {q(root + MEDIUM_IN_ROOT)}",
             f"exec chroot {q(root)} /bin/sh -c {q(command)}"]
    return "\n".join(lines)


def elf_files(viewer):
    return sorted(path for path in check_bundle.bundled_files(viewer) if check_bundle.is_elf(path))


def missing_in_root(root, medium, viewer):
    """Lines "file: library => not found" from the root's loader for every program and library VIEWER/ carries."""
    inside = [MEDIUM_IN_ROOT + path[len(medium):] for path in elf_files(viewer)]
    # As ldd asks: `ld.so --list` stops at the first missing library, the trace lists every one as "not found".
    listing = "; ".join(f"echo {shlex.quote('== ' + path)}; LD_TRACE_LOADED_OBJECTS=1 {LOADER} {shlex.quote(path)}"
                        " || true" for path in inside)
    result = subprocess.run(["unshare", "--mount", "--", "sh", "-c", namespace_script(root, medium, listing)],
                            capture_output=True, text=True)
    if result.returncode != 0:
        fail("the root's loader could not list the bundle: " + result.stderr.strip())
        return []
    missing, current = [], None
    for line in result.stdout.splitlines():
        if line.startswith("== "):
            current = line[3:]
        elif "not found" in line and f"{current}: {line.strip()}" not in missing:
            missing.append(f"{current}: {line.strip()}")
    lacking = {entry.split(": ", 1)[0] for entry in missing}
    print(f"the root's loader finds every library for {len(inside) - len(lacking)} of the {len(inside)} programs "
          "and libraries VIEWER/ carries")
    return missing


def viewer_environment(display):
    home = "/tmp/home"
    return {
        "PATH": "/usr/bin:/bin",
        "HOME": home,
        "XDG_RUNTIME_DIR": home + "/runtime",
        "XDG_CACHE_HOME": home + "/cache",
        "QT_QPA_PLATFORM": "xcb",
        "DISPLAY": display,
        "ORBLANE_TRACE": "1",
        "ORBLANE_AUTOCLOSE_DIALOGS": "1",
        "ORBLANE_TEST_KEYS": KEYS,
    }


def viewer_command(environment):
    """Run inside the root: make the private folders on its /tmp, then the viewer from the read-only medium."""
    exports = " ".join(f"{name}={shlex.quote(value)}" for name, value in environment.items())
    return (f"mkdir -p -m 700 {environment['XDG_RUNTIME_DIR']} && cd {MEDIUM_IN_ROOT}/VIEWER && "
            f"exec env -i {exports} ./Orblane")


def check_run(lines, maps):
    if not any(line.startswith(VIEWER_OPENED) for line in lines):
        fail("the first study did not open in the viewer")
    elif not any(line.startswith(PAGE_SHOWN) for line in lines):
        fail("the viewer opened but showed no page")
    missing = [line for line in lines if "cannot open shared object file" in line]
    for line in missing:
        fail("a library is missing: " + line)
    viewer_inside = MEDIUM_IN_ROOT + "/VIEWER/"
    from_bundle = [path for path in maps if viewer_inside in path]
    print(f"mapped libraries: {len(from_bundle)} from the bundle, {len(maps) - len(from_bundle)} from the root")
    if not from_bundle:
        fail("no library was mapped from the bundle")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--viewer", required=True, help="the staged VIEWER/ folder of a medium")
    parser.add_argument("--packages", required=True, help="the base package list the bundle module wrote")
    arguments = parser.parse_args()
    viewer = os.path.abspath(arguments.viewer)
    medium = os.path.dirname(viewer)
    if not os.path.isfile(os.path.join(viewer, "Orblane")):
        print(f"no bundled viewer in {viewer}: build the demo-medium target first", file=sys.stderr)
        return 1
    with open(arguments.packages) as file:
        packages = [line.strip() for line in file if line.strip()]
    if os.geteuid() != 0 or not shutil.which("unshare"):
        print("skipped: the minimal desktop root needs root and unshare")
        return SKIPPED
    if not shutil.which("Xvfb"):
        print("skipped: Xvfb missing (scripts/install-deps installs it)")
        return SKIPPED

    root = minimal_root(packages)
    if not root:
        return 1 if check_bundle.failures else SKIPPED

    # Started first: the root's view of the X sockets is bound in from the host's /tmp/.X11-unix, made by Xvfb.
    xvfb = check_bundle.start_xvfb()
    if not xvfb:
        fail("Xvfb did not start")
        return 1
    try:
        for line in missing_in_root(root, medium, viewer):
            fail("the minimal desktop lacks a library: " + line)

        maps = set()
        started = time.monotonic()
        script = namespace_script(root, medium, viewer_command(viewer_environment(xvfb[1])))
        lines = check_bundle.run_viewer(viewer, script, {"PATH": "/usr/sbin:/usr/bin:/sbin:/bin"},
                                        lambda pid: maps.update(check_bundle.mapped_libraries(pid)))
        print(f"xcb on the minimal desktop: ran in {time.monotonic() - started:.1f} s")
        check_run(lines, maps)
    finally:
        xvfb[0].kill()
        xvfb[0].wait()
    print("minimal desktop check: " + ("FAILED" if check_bundle.failures else "passed"))
    return 1 if check_bundle.failures else 0


if __name__ == "__main__":
    sys.exit(main())
