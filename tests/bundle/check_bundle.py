#!/usr/bin/env python3
"""A medium's VIEWER/ folder runs on a desktop that has none of its libraries.

Starts the staged viewer in a private mount namespace (unshare -m, so root) where every host copy of a library the
bundle carries, and of Qt, ICU, libjpeg-turbo, OpenJPEG and CharLS, reads as an empty file, the host's Qt plugin
folder is empty and the medium is mounted read-only; under the offscreen platform, and under xcb on a private Xvfb
when there is one. The study list must come up, and every library the running viewer maps must come from the bundle
unless it belongs to the desktop's base (the list the build's bundle module keeps) or is a dependency of that base.
One more run under strace looks for any attempt to write on the medium.
Also checks the folder's size and the newest glibc symbol version it needs. Exit 77 (skipped) when not root.
"""
import argparse
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import threading
import time

MAX_BYTES = 120 * 1000 * 1000
# Debian 12's glibc: the bundle is made from Debian 12's libraries and must not need more.
MAX_GLIBC = (2, 36)
HOST_LIBRARY_DIRS = ["/usr/lib/x86_64-linux-gnu", "/lib/x86_64-linux-gnu", "/usr/lib64", "/usr/lib"]
# Hidden even when this build does not link them yet, so that a later link cannot pass by using the host's copy.
ALWAYS_HIDDEN = re.compile(r"^lib(Qt6|icu|turbojpeg|jpeg|openjp2|charls)")
HOST_PLUGIN_DIRS = ["/usr/lib/x86_64-linux-gnu/qt6/plugins"]
LIST_SHOWN = "trace study list after "
# Time enough after the list shows to read the process's mappings; then Escape ends the run.
KEYS = ",".join(["Wait"] * 8 + ["Escape"])

failures = []


def fail(message):
    failures.append(message)
    print("FAIL: " + message, file=sys.stderr)


def bundled_files(viewer):
    for folder, _, names in os.walk(viewer):
        for name in names:
            yield os.path.join(folder, name)


def is_elf(path):
    with open(path, "rb") as file:
        return file.read(4) == b"\x7fELF"


def check_size_and_glibc(viewer):
    total = sum(os.path.getsize(path) for path in bundled_files(viewer))
    print(f"VIEWER/ holds {total / 1e6:.1f} MB")
    if total > MAX_BYTES:
        fail(f"VIEWER/ is {total} bytes, more than {MAX_BYTES}")
    if not shutil.which("objdump"):
        print("objdump missing: glibc version not checked")
        return
    newest, where = (0, 0), ""
    for path in bundled_files(viewer):
        if not is_elf(path):
            continue
        symbols = subprocess.run(["objdump", "-T", path], capture_output=True, text=True, check=True).stdout
        for major, minor in re.findall(r"GLIBC_(\d+)\.(\d+)", symbols):
            version = (int(major), int(minor))
            if version > newest:
                newest, where = version, os.path.basename(path)
    print(f"newest glibc symbol version needed: {newest[0]}.{newest[1]} ({where})")
    if newest > MAX_GLIBC:
        fail(f"{where} needs GLIBC_{newest[0]}.{newest[1]}, newer than {MAX_GLIBC[0]}.{MAX_GLIBC[1]}")


def host_copies_to_hide(bundled_names):
    hidden = set()
    for folder in HOST_LIBRARY_DIRS:
        if not os.path.isdir(folder):
            continue
        for name in os.listdir(folder):
            path = os.path.join(folder, name)
            if (name in bundled_names or ALWAYS_HIDDEN.match(name)) and os.path.isfile(path):
                hidden.add(os.path.realpath(path))
    return sorted(hidden)


def namespace_script(medium, hidden, empty, command):
    """The shell text run inside `unshare -m`: hide, make the medium read-only, then exec `command`."""
    lines = ["set -e", "mount --make-rprivate /"]
    lines += [f"mount --bind /dev/null {shlex.quote(path)}" for path in hidden]
    lines += [f"mount --bind {shlex.quote(empty)} {shlex.quote(d)}" for d in HOST_PLUGIN_DIRS if os.path.isdir(d)]
    lines += [f"mount --bind {shlex.quote(medium)} {shlex.quote(medium)}",
              f"mount -o remount,bind,ro {shlex.quote(medium)}",
              "exec " + " ".join(shlex.quote(part) for part in command)]
    return "\n".join(lines)


def viewer_environment(scratch, platform, display):
    environment = {
        "PATH": "/usr/bin:/bin",
        "HOME": scratch,
        "XDG_RUNTIME_DIR": os.path.join(scratch, "runtime"),
        "XDG_CACHE_HOME": os.path.join(scratch, "cache"),
        "QT_QPA_PLATFORM": platform,
        "ORBLANE_TRACE": "1",
        "ORBLANE_AUTOCLOSE_DIALOGS": "1",
        "ORBLANE_TEST_KEYS": KEYS,
    }
    if display:
        environment["DISPLAY"] = display
    os.makedirs(environment["XDG_RUNTIME_DIR"], mode=0o700, exist_ok=True)
    return environment


def start_xvfb():
    """A private X server on a free display: (process, ":N"), or None."""
    if not shutil.which("Xvfb"):
        return None
    reading, writing = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(writing), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                              pass_fds=[writing], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(writing)
    with os.fdopen(reading) as pipe:
        number = pipe.readline().strip()
    if not number.isdigit():
        server.kill()
        server.wait()
        return None
    return server, ":" + number


def run_viewer(viewer, script, environment, on_list_shown=None):
    """Runs the namespace script; calls on_list_shown(pid) once the study list shows. Answers the stderr lines."""
    process = subprocess.Popen(["unshare", "--mount", "--", "sh", "-c", script], cwd=viewer, env=environment,
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    lines = []
    shown = threading.Event()

    def read():
        for line in process.stderr:
            lines.append(line.rstrip("\n"))
            if line.startswith(LIST_SHOWN):
                shown.set()

    reader = threading.Thread(target=read)
    reader.start()
    deadline = time.monotonic() + 60
    while not shown.is_set() and reader.is_alive() and time.monotonic() < deadline:
        shown.wait(0.05)
    if shown.is_set() and on_list_shown:
        on_list_shown(process.pid)
    try:
        code = process.wait(60)
    except subprocess.TimeoutExpired:
        process.kill()
        code = process.wait()
        fail("the viewer did not end after Escape")
    reader.join()
    if code != 0:
        fail(f"the viewer ended with exit code {code}")
    if not any(line.startswith(LIST_SHOWN) for line in lines):
        fail("the study list never showed")
    errors = [line for line in lines if line.startswith("error ") or "error while loading" in line]
    if errors:
        fail("the viewer reported: " + "; ".join(errors))
    return lines


def mapped_libraries(pid):
    paths = set()
    with open(f"/proc/{pid}/maps") as maps:
        for line in maps:
            parts = line.split(None, 5)
            if len(parts) == 6 and ".so" in os.path.basename(parts[5].strip()):
                paths.add(parts[5].strip())
    return paths


def dependencies_of(paths):
    """Real file names of everything the given host libraries load, as the host's loader resolves them."""
    names = set()
    for path in paths:
        result = subprocess.run(["ldd", path], capture_output=True, text=True)
        for target in re.findall(r"=> (/\S+)", result.stdout):
            names.add(os.path.basename(os.path.realpath(target)))
    return names


def check_mappings(maps, viewer, base, bundled_names):
    viewer_real = os.path.realpath(viewer) + "/"
    host = [path for path in maps if not path.startswith(viewer_real) and not path.startswith(viewer + "/")]
    from_bundle = len(maps) - len(host)
    base_host = [path for path in host if any(regex.match(os.path.basename(path)) for regex in base)]
    allowed = dependencies_of(base_host) - bundled_names
    stray = sorted(path for path in host if path not in base_host and os.path.basename(path) not in allowed)
    print(f"mapped libraries: {from_bundle} from the bundle, {len(base_host)} base, "
          f"{len(host) - len(base_host)} dependencies of the base")
    if from_bundle == 0:
        fail("no library was mapped from the bundle")
    # The report window renders PDF pages: its module (and through it what it needs) comes from the bundle too.
    for module in ("libQt6Pdf.so", "libQt6PdfWidgets.so"):
        if not any(os.path.basename(path).startswith(module) and path not in host for path in maps):
            fail(f"{module} was not mapped from the bundle")
    for path in stray:
        fail(f"mapped from the host, neither base nor a dependency of the base: {path}")
    for path in host:
        if os.path.basename(path) in bundled_names:
            fail(f"the host's copy of a bundled library was mapped: {path}")


WRITING_CALLS = {"creat", "mkdir", "mkdirat", "unlink", "unlinkat", "rmdir", "rename", "renameat", "renameat2", "link",
                 "linkat", "symlink", "symlinkat", "truncate", "chmod", "fchmodat", "utimensat"}


def writes_on_medium(trace_file, medium):
    """Calls that would create or change a file on the medium: they fail there, read-only, but must not be tried.
    The viewer runs in VIEWER/, so a relative path is on the medium too."""
    found = []
    with open(trace_file) as trace:
        for line in trace:
            # strace -y names the folder behind a descriptor: openat(6</run/user/0/orblane>, "x.lock", ...).
            call = re.match(r'^\d+\s+(\w+)\((?:AT_FDCWD, |\d+(?:<([^>]*)>)?, )?"([^"]*)"', line)
            if not call:
                continue
            name, folder, path = call.groups()
            if folder and not path.startswith("/"):
                path = os.path.join(folder, path)
            if path.startswith("/") and not path.startswith(medium + "/"):
                continue
            if name in WRITING_CALLS or (name.startswith("open") and re.search(r"O_WRONLY|O_RDWR|O_CREAT|O_TRUNC", line)):
                found.append(line.strip())
    return found


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--viewer", required=True, help="the staged VIEWER/ folder of a medium")
    parser.add_argument("--base", required=True, help="the base library list the bundle module wrote")
    arguments = parser.parse_args()
    viewer = os.path.abspath(arguments.viewer)
    medium = os.path.dirname(viewer)
    if not os.path.isfile(os.path.join(viewer, "Orblane")) or not os.path.isdir(os.path.join(viewer, "lib")):
        print(f"no bundled viewer in {viewer}: build the demo-medium target first", file=sys.stderr)
        return 1
    with open(arguments.base) as file:
        base = [re.compile(line.strip()) for line in file if line.strip()]

    check_size_and_glibc(viewer)
    if os.geteuid() != 0 or not shutil.which("unshare"):
        print("skipped: the run with hidden host libraries needs root and unshare")
        return 77 if not failures else 1

    bundled_names = {os.path.basename(path) for path in bundled_files(os.path.join(viewer, "lib"))}
    hidden = host_copies_to_hide(bundled_names)
    print(f"hiding {len(hidden)} host libraries and the host's Qt plugins")
    with tempfile.TemporaryDirectory() as scratch:
        empty = os.path.join(scratch, "empty")
        os.mkdir(empty)
        viewer_command = [os.path.join(viewer, "Orblane")]
        # Offscreen always; the xcb plugin a desktop uses, with everything it opens, when an X server can be had.
        platforms = [("offscreen", None)]
        xvfb = start_xvfb()
        if xvfb:
            platforms.append(("xcb", xvfb[1]))
        else:
            print("Xvfb missing: the xcb platform not run")
        try:
            for platform, display in platforms:
                environment = viewer_environment(scratch, platform, display)
                maps = set()
                started = time.monotonic()
                run_viewer(viewer, namespace_script(medium, hidden, empty, viewer_command), environment,
                           lambda pid: maps.update(mapped_libraries(pid)))
                print(f"{platform}: ran in {time.monotonic() - started:.1f} s")
                check_mappings(maps, viewer, base, bundled_names)

            if shutil.which("strace"):
                trace_file = os.path.join(scratch, "strace.log")
                command = ["strace", "-f", "-qq", "-y", "-e", "trace=file", "-o", trace_file] + viewer_command
                platform, display = platforms[-1]
                run_viewer(viewer, namespace_script(medium, hidden, empty, command),
                           viewer_environment(scratch, platform, display))
                for line in writes_on_medium(trace_file, medium):
                    fail("the viewer tried to write on the medium: " + line)
            else:
                print("strace missing: writes on the medium not traced")
        finally:
            if xvfb:
                xvfb[0].kill()
                xvfb[0].wait()
    print("bundle check: " + ("FAILED" if failures else "passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
