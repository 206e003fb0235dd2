"""Drives the real brindle.exe under Wine on the test run's X display.

The test script (scripts/test.sh) has already set DISPLAY, WINEPREFIX and a
running wineserver; this module starts programs, finds their windows and reads
screen pixels. Wine's children keep inherited pipes open, so program output
always goes to files, never to pipes.
"""
import os
import subprocess
import time

BUILD_DIR = os.environ.get("BRINDLE_BUILD_DIR", os.path.join(os.path.dirname(__file__), "..", "..", "build"))
EXE = os.environ.get("BRINDLE_EXE", os.path.join(BUILD_DIR, "brindle.exe"))
ARTEFACTS = os.path.join(BUILD_DIR, "test-artefacts")
WINDOW_TITLE = "BRINDLE Updater"


def artefact_path(name):
    os.makedirs(ARTEFACTS, exist_ok=True)
    return os.path.join(ARTEFACTS, name)


class Program:
    """One Windows program started with wine; output lands in a log file."""

    def __init__(self, exe, args=(), name="program", env=None):
        self.log_path = artefact_path(name + ".log")
        self.log = open(self.log_path, "wb")
        full_env = dict(os.environ)
        full_env.update(env or {})
        self.process = subprocess.Popen(["wine", exe, *args], stdin=subprocess.DEVNULL,
                                        stdout=self.log, stderr=subprocess.STDOUT, env=full_env)

    def wait(self, timeout):
        try:
            return self.process.wait(timeout=timeout)
        finally:
            if self.process.poll() is not None:
                self.log.close()

    def running(self):
        return self.process.poll() is None

    def kill(self):
        if self.running():
            self.process.kill()
            self.process.wait(timeout=30)
        self.log.close()


def start_launcher(args=(), exe=EXE, name="launcher", env=None):
    return Program(exe, args, name, env)


def find_windows(title):
    result = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % title],
                            capture_output=True, text=True)
    return [line for line in result.stdout.split() if line]


def wait_for_window(title=WINDOW_TITLE, timeout=30.0, program=None):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = find_windows(title)
        if found:
            return found[0]
        if program is not None and not program.running():
            return None
        time.sleep(0.1)
    return None


def window_geometry(window):
    """(x, y, width, height) of an X window, from xwininfo."""
    out = subprocess.run(["xwininfo", "-id", window], capture_output=True, text=True, check=True).stdout
    fields = {}
    for line in out.splitlines():
        line = line.strip()
        for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"):
            if line.startswith(key + ":"):
                fields[key] = int(line.split(":", 1)[1])
    return (fields["Absolute upper-left X"], fields["Absolute upper-left Y"], fields["Width"], fields["Height"])


class Screenshot:
    """The whole screen as a PNG artefact plus its raw RGB pixels."""

    def __init__(self, name):
        self.path = artefact_path(name + ".png")
        subprocess.run(["import", "-display", os.environ["DISPLAY"], "-window", "root", self.path], check=True)
        size = subprocess.run(["identify", "-format", "%w %h", self.path], capture_output=True, text=True,
                              check=True).stdout.split()
        self.width, self.height = int(size[0]), int(size[1])
        self.rgb = subprocess.run(["convert", self.path, "-depth", "8", "rgb:-"], capture_output=True,
                                  check=True).stdout

    def pixel(self, x, y):
        at = (y * self.width + x) * 3
        return tuple(self.rgb[at:at + 3])


def close_enough(actual, expected, tolerance):
    return all(abs(a - e) <= tolerance for a, e in zip(actual, expected))


def press_keys(window, keys):
    subprocess.run(["xdotool", "windowfocus", "--sync", window], check=False)
    subprocess.run(["xdotool", "key", keys], check=True)
