#!/usr/bin/env python3
"""The Windows viewer on its medium, as a receiver starts it: Orblane.exe under Wine, on a private Xvfb with openbox.

Its trace must show the splash, then the study list with every study of the medium, then the first study open in the
viewer with a page shown; Escape then ends the viewer and the list, and the program exits cleanly without an error
line. A screenshot of each stage is kept (splash.png, study-list.png, viewer.png in the output folder) for a person
to look at: Wine draws with its own fonts, so they are looked at, not compared. Exit 77 (skipped) when Wine, Xvfb,
openbox or xdotool is missing, or the medium holds no Orblane.exe.
"""
import argparse
import os
import queue
import shutil
import subprocess
import sys
import tempfile
import threading
import time

SPLASH = "trace splash shown"
LIST_SHOWN = "trace study list after "
VIEWER_OPENED = "trace viewer opened with "
PAGE_SHOWN = "trace page from image 1 "
# Wine makes its prefix at the first start: a minute on a loaded machine.
FIRST_START_SECONDS = 180
STEP_SECONDS = 60

failures = []


def fail(message):
    failures.append(message)
    print("FAIL: " + message, file=sys.stderr)


def start_xvfb():
    """A private X server on a free display: (process, ":N"), or None."""
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


def screenshot(display, path):
    """The whole screen as a PNG, where ImageMagick's import is there; a missing tool only costs the picture."""
    if shutil.which("import") is None:
        return
    subprocess.run(["import", "-display", display, "-window", "root", path], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60, check=False)


class TraceReader:
    """The program's standard error, line by line, as it comes."""

    def __init__(self, stream):
        self.lines = []  # (when it came, the line)
        self.pending = queue.Queue()
        threading.Thread(target=self._read, args=(stream,), daemon=True).start()

    def _read(self, stream):
        for line in stream:
            self.pending.put((time.monotonic(), line.rstrip("\n")))
        self.pending.put(None)

    def wait_for(self, prefix, seconds):
        """The first line from here on that starts with `prefix`, or None when the time runs out or the stream ends."""
        deadline = time.monotonic() + seconds
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                return None
            try:
                entry = self.pending.get(timeout=left)
            except queue.Empty:
                return None
            if entry is None:
                self.pending.put(None)
                return None
            self.lines.append(entry)
            line = entry[1]
            if line.startswith(prefix):
                return line


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("medium", help="the medium's root (holding VIEWER/Orblane.exe)")
    parser.add_argument("--out", required=True, help="folder for the screenshots and the trace")
    parser.add_argument("--studies", type=int, required=True, help="the studies the list must show")
    parser.add_argument("--native", action="store_true",
                        help="run the medium's Linux viewer the same way instead (its figures beside Wine's)")
    arguments = parser.parse_args()

    viewer = os.path.join(os.path.abspath(arguments.medium), "VIEWER")
    executable = os.path.join(viewer, "Orblane" if arguments.native else "Orblane.exe")
    tools = ("Xvfb", "openbox", "xdotool") + (() if arguments.native else ("wine", "wineserver"))
    missing = [tool for tool in tools if shutil.which(tool) is None]
    if missing or not os.path.isfile(executable):
        print("skipped: " + (", ".join(missing) + " missing" if missing else f"no {executable}"))
        return 77
    os.makedirs(arguments.out, exist_ok=True)

    started = start_xvfb()
    if started is None:
        fail("Xvfb did not start")
        return 1
    server, display = started
    scratch = tempfile.mkdtemp(prefix="orblane-wine-")
    environment = dict(os.environ)
    environment.update({
        "DISPLAY": display,
        "WINEPREFIX": os.environ.get("WINEPREFIX", os.path.join(scratch, "wine")),
        "WINEDEBUG": "-all",
        "XDG_RUNTIME_DIR": os.path.join(scratch, "runtime"),
        "ORBLANE_TRACE": "1",
        "ORBLANE_AUTOCLOSE_DIALOGS": "1",
        # The first study, opened from the keyboard two seconds after the list shows (time for its screenshot).
        "ORBLANE_TEST_KEYS": ",".join(["Wait"] * 8 + ["Home", "Return"]),
    })
    os.makedirs(environment["XDG_RUNTIME_DIR"], mode=0o700, exist_ok=True)
    manager = subprocess.Popen(["openbox"], env=environment, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    program = None
    trace = None
    try:
        # Wine's own start (its prefix, its server) before the program's, so the program's times are its own.
        if not arguments.native:
            subprocess.run(["wineboot", "--init"] if shutil.which("wineboot") else ["wine", "cmd", "/c", "exit"],
                           env=environment, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=FIRST_START_SECONDS, check=False)
        began = time.monotonic()
        program = subprocess.Popen(([] if arguments.native else ["wine"]) + [executable], cwd=viewer, env=environment,
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                   text=True, errors="replace")
        trace = TraceReader(program.stderr)
        if trace.wait_for(SPLASH, FIRST_START_SECONDS) is None:
            fail("the splash did not show")
            return 1
        print(f"splash shown {time.monotonic() - began:.2f} s after the start")
        time.sleep(0.3)
        screenshot(display, os.path.join(arguments.out, "splash.png"))
        shown = trace.wait_for(LIST_SHOWN, STEP_SECONDS)
        if shown is None:
            fail("the study list did not show")
            return 1
        rows = int(shown.rsplit(": ", 1)[1].split()[0])
        print(f"study list: {rows} rows")
        time.sleep(0.8)
        screenshot(display, os.path.join(arguments.out, "study-list.png"))
        if rows != arguments.studies:
            fail(f"the study list shows {rows} rows, not the medium's {arguments.studies} studies")
        if trace.wait_for("trace key Return", STEP_SECONDS) is None:
            fail("the list did not take the key that opens the first study")
            return 1
        pressed = trace.lines[-1][0]
        opened = trace.wait_for(VIEWER_OPENED, STEP_SECONDS)
        if opened is None or trace.wait_for(PAGE_SHOWN, STEP_SECONDS) is None:
            fail("the first study did not open in the viewer with a page shown")
            return 1
        print(opened[len("trace "):].split(":")[0] + f"; first page {1000 * (trace.lines[-1][0] - pressed):.0f} ms after "
              "the key that opened it")
        # The list's window stays on the screen until the viewer's is drawn over it.
        time.sleep(1.5)
        screenshot(display, os.path.join(arguments.out, "viewer.png"))
        # Escape ends the viewer, then the list: through the X server, as a user's key.
        for _ in range(6):
            subprocess.run(["xdotool", "key", "Escape"], env=environment, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=30, check=False)
            try:
                program.wait(timeout=2)
                break
            except subprocess.TimeoutExpired:
                pass
        try:
            code = program.wait(timeout=STEP_SECONDS)
        except subprocess.TimeoutExpired:
            fail("Escape did not end the program")
            return 1
        if code != 0:
            fail(f"the program ended with {code}")
        trace.wait_for("\0", 5)
        errors = [line for _, line in trace.lines if line.startswith("error ")]
        for line in errors:
            fail("the trace says " + line)
        return 1 if failures else 0
    finally:
        if program is not None and program.poll() is None:
            program.kill()
        if not arguments.native:
            subprocess.run(["wineserver", "-k"], env=environment, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=60, check=False)
        if program is not None:
            program.wait()
        if trace is not None:
            with open(os.path.join(arguments.out, "trace.txt"), "w", encoding="utf-8") as log:
                # Each line with the milliseconds since the program was started, as the line reached this script.
                log.writelines(f"{1000 * (arrived - began):8.0f} {line}\n" for arrived, line in trace.lines)
        manager.kill()
        manager.wait()
        server.kill()
        server.wait()
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
