#!/usr/bin/env python3
"""The user of the headless demo (scripts/demo.sh): drives the launcher under
the demo's Xvfb display and Wine prefix, keeps a screenshot of each screen,
checks what was installed, and prints the summary.

    demo_drive.py drive  --out DIR --release DIR --access-log FILE [--clean-up]
    demo_drive.py report --release DIR      (after a run the user clicked through)

"drive" runs the first start (install prompt, "Tiếp tục", progress,
completion, the game's start) and a second start that must find everything up
to date; it exits 0 only when every step happened and the install folder holds
exactly the published release. --clean-up leaves the prefix as it was found
(the test run's shared prefix); the demo's own fresh prefix is thrown away
whole instead.
"""
import argparse
import glob
import hashlib
import json
import os
import shutil
import subprocess
import sys
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
import brindle_harness as h  # noqa: E402
from window_capture import WindowCapture, save_png  # noqa: E402

INSTALL_FOLDER = "C:\\Brindle"  # what the install prompt offers
CONTINUE_BUTTON = (415, 278)  # centre of "Tiếp tục" at (340,262)-(490,294)
GAME_RECORD = "GTA5.record"  # the game stand-in's log of its window titles
CLIENT_PROGRAMS = ("updater.exe", "ragemp_v.exe", "GTA5.exe")


class DemoFailed(Exception):
    pass


def install_path(*parts):
    """A path under the install folder, on the Linux side."""
    return h.drive_c(*INSTALL_FOLDER[3:].split("\\"), *parts)


# --- what a screen shows ----------------------------------------------------------

def near(pixel, colour, tolerance=40):
    return all(abs(a - b) <= tolerance for a, b in zip(pixel, colour))


WIDTH, HEIGHT = 520, 383  # the launcher's client area, which is its whole window


class Frame:
    """One picture of the launcher window, with what was true when it was taken."""

    def __init__(self, rgb, state_written, downloading):
        self.rgb, self.taken = rgb, time.monotonic()
        self.state_written, self.downloading = state_written, downloading

    def pixel(self, x, y):
        at = (y * WIDTH + x) * 3
        return tuple(self.rgb[at:at + 3])

    # The continue button's orange; the bar's fill; the windows of the game
    # and the client, which open over the launcher before it ends.
    def shows_install_prompt(self):
        return near(self.pixel(350, 270), (0xF6, 0x97, 0x41))

    def bar_reaches(self, x):
        return self.pixel(x, 214)[0] > 0xC0  # the fill's red, where the empty track is dark blue

    def bar_fill(self):
        """How far the bar is filled, 0 to 1."""
        filled = [x for x in range(30, 490, 5) if self.bar_reaches(x)]
        return (filled[-1] - 30) / 460 if filled else 0.0

    def bar_full(self):
        return near(self.pixel(487, 214), (0xFF, 0xD7, 0x7E))

    def status_line_differs(self, other):
        """Whether the status line's text differs: the picture under it does not change."""
        total = sum(abs(a - b) for x in range(30, 300, 2) for y in range(184, 198)
                    for a, b in zip(self.pixel(x, y), other.pixel(x, y)))
        return total / (135 * 14 * 3) > 4

    # Without a window manager, the client's windows are plain black or grey
    # rectangles; before its first frame the launcher window is all black.
    SAMPLES = ((60, 100), (250, 100), (60, 190), (250, 200), (450, 260), (260, 330))

    def blank(self):
        return all(max(self.pixel(x, y)) < 10 for x, y in self.SAMPLES)

    def covered(self):
        def foreign(pixel):
            return max(pixel) < 10 or (pixel[0] == pixel[1] == pixel[2] and pixel[0] > 150)
        return not self.blank() and any(foreign(self.pixel(x, y)) for x, y in self.SAMPLES)

    def save(self, path):
        save_png(self.rgb, WIDTH, HEIGHT, path)


def take_frame(camera, state_written):
    """A picture of the launcher window, or None when it could not be taken.
    state_written tells whether the run has written its state file."""
    written = state_written()
    downloading = bool(glob.glob(install_path(h.DOWNLOAD_FOLDER, "*.part")))
    rgb = camera.grab()
    return Frame(rgb, written, downloading) if rgb is not None else None


class Capture:
    """Pictures of the launcher window until the launcher ends: a few a
    second during the run, and as many as it can as soon as the state file is
    written, until the game's windows open over the launcher; its completion
    screen lasts only 24 frames."""

    def __init__(self, window, launcher, state_written):
        self.frames = []
        self.lock = threading.Lock()
        self.threads = [threading.Thread(target=target, args=(window, launcher, state_written), daemon=True)
                        for target in (self._during_run, self._at_the_end)]
        for thread in self.threads:
            thread.start()

    def _take(self, camera, launcher, state_written):
        frame = take_frame(camera, state_written)
        if frame is None or not launcher.running():
            return None
        with self.lock:
            # A screen that does not change is kept once.
            if not self.frames or self.frames[-1].rgb != frame.rgb or \
                    self.frames[-1].state_written != frame.state_written:
                self.frames.append(frame)
        return frame

    def _during_run(self, window, launcher, state_written):
        camera = WindowCapture(window, WIDTH, HEIGHT)
        while launcher.running() and not state_written():
            self._take(camera, launcher, state_written)
            time.sleep(0.2)  # leave the machine to the launcher
        camera.close()

    def _at_the_end(self, window, launcher, state_written):
        camera = WindowCapture(window, WIDTH, HEIGHT)
        while launcher.running() and not state_written():
            time.sleep(0.005)
        # The window shows the worker's end a few frames late, and a short run
        # can end before the window has drawn at all.
        for _ in range(3000):  # at most half a minute
            frame = self._take(camera, launcher, state_written)
            if not launcher.running() or (frame is not None and frame.covered()):
                break
            time.sleep(0.005)
        camera.close()

    def stop(self):
        for thread in self.threads:
            thread.join(timeout=30)
        self.frames.sort(key=lambda frame: frame.taken)


# --- the release and the install folder ---------------------------------------------

def load_manifest(release):
    with open(os.path.join(release, "manifest.json"), encoding="utf-8") as f:
        return json.load(f)


def sha256_of(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def check_installed(manifest):
    """Every published file in place with its hash; a problem raises."""
    for entry in manifest["files"]:
        path = install_path(*entry["path"].split("/"))
        if not os.path.isfile(path):
            raise DemoFailed("not installed: " + entry["path"])
        if sha256_of(path) != entry["sha256"]:
            raise DemoFailed("installed with the wrong content: " + entry["path"])


def state_lines():
    path = install_path("brindle.state")
    if not os.path.exists(path):
        return None
    with open(path, encoding="utf-8") as f:
        return len(f.read().splitlines())


def last_game_title():
    """The last title that the game stand-in saw on its window."""
    path = install_path(GAME_RECORD)
    if not os.path.exists(path):
        return None
    with open(path, encoding="utf-8", errors="replace") as f:
        titles = [line[len("title "):] for line in f.read().splitlines() if line.startswith("title ")]
    return titles[-1] if titles else None


def file_requests(access_log, skip_lines):
    with open(access_log, encoding="utf-8", errors="replace") as f:
        lines = f.read().splitlines()[skip_lines:]
    return len(lines), [line for line in lines if '"GET /manifest.json ' not in line]


def megabytes(count):
    return "%.1f MB" % (count / 1048576)


# --- the two starts -------------------------------------------------------------

class Demo:
    def __init__(self, args):
        self.out = args.out
        self.release = args.release
        self.access_log = args.access_log
        self.manifest = load_manifest(args.release)
        shutil.rmtree(self.out, ignore_errors=True)
        os.makedirs(self.out)
        self.shots = []
        self.times = {}

    def keep(self, frame, name):
        target = os.path.join(self.out, name + ".png")
        frame.save(target)
        self.shots.append(os.path.relpath(target, ROOT))

    def start(self, exe, name):
        launcher = h.start_launcher(exe=exe, name=name)
        window = h.wait_for_window(program=launcher, timeout=60)
        if window is None:
            launcher.kill()
            raise DemoFailed("the launcher window did not appear (%s)" % launcher.log_path)
        return launcher, window

    def wait_for_end(self, launcher, what):
        """After the completion screen the launcher starts the game and ends by
        itself. A Windows program that crashes under Wine waits for a debugger
        instead, so its log is watched for that too."""
        def crash():
            with open(launcher.log_path, encoding="utf-8", errors="replace") as f:
                return next((line for line in f.read().splitlines() if "Unhandled" in line), None)
        h.wait_for(lambda: not launcher.running() or crash(), 300, interval=0.2)
        h.wait_for(lambda: not launcher.running(), 5)  # the crash may have been another program's
        if launcher.running():
            launcher.kill()
            raise DemoFailed("the launcher did not end after %s%s" % (what, ": " + crash() if crash() else ""))
        code = launcher.wait(10)
        if code != 0:
            raise DemoFailed("the launcher ended with exit code %d after %s" % (code, what))

    def first_start(self):
        state_file = install_path("brindle.state")

        def state_written():
            return os.path.exists(state_file)
        launcher, window = self.start(os.environ.get("BRINDLE_EXE", h.EXE), "demo-first-start")
        camera = WindowCapture(window, WIDTH, HEIGHT)
        prompt = []

        def prompt_shown():
            frame = take_frame(camera, state_written)
            prompt[:] = [frame] if frame is not None and frame.shows_install_prompt() else []
            return bool(prompt)
        if not h.wait_for(prompt_shown, 30, interval=0.5):
            raise DemoFailed("no install prompt with its \"Tiếp tục\" button on screen")
        camera.close()
        self.keep(prompt[0], "1-install-prompt")

        subprocess.run(["xdotool", "mousemove", "--window", window, str(CONTINUE_BUTTON[0]),
                        str(CONTINUE_BUTTON[1])], check=True)
        time.sleep(0.3)
        clicked = time.monotonic()
        capture = Capture(window, launcher, state_written)
        subprocess.run(["xdotool", "click", "1"], check=True)
        self.wait_for_end(launcher, "the first run")
        self.times["first"] = time.monotonic() - clicked
        capture.stop()

        progress = [f for f in capture.frames if f.downloading and not f.state_written and f.bar_reaches(34)
                    and not f.bar_full() and not f.covered()]
        if not progress:
            raise DemoFailed("no picture of the progress screen during the download")
        self.downloading = min(progress, key=lambda f: abs(f.bar_fill() - 0.5))
        self.keep(self.downloading, "2-progress")
        self.keep(self.completion(capture, "the first run"), "3-completion")

    def completion(self, capture, run):
        """The first picture after the state file was written with a full bar
        and a status line other than the download's, with nothing over it if
        there is one; otherwise the first with the game's windows opening."""
        done = [f for f in capture.frames if f.state_written and f.bar_full()
                and f.status_line_differs(self.downloading)]
        if not done:
            raise DemoFailed("no picture of the completion screen of " + run)
        clear = [f for f in done if not f.covered()]
        return (clear or done)[0]

    def game_started(self):
        # The title watcher renames the game's window; the stand-in records it.
        h.wait_for(lambda: last_game_title() == "BRINDLEHUB", 30, interval=0.2)
        title = last_game_title()
        if title is None:
            raise DemoFailed("the game stand-in did not start (no %s in the install folder)" % GAME_RECORD)
        if not h.find_windows(title):
            raise DemoFailed("no game window titled \"%s\" on the display" % title)
        return title

    def second_start(self):
        """The installed copy, as the desktop shortcut starts it: a stored
        install folder, so the run begins at once and finds nothing to fetch."""
        requests_before, _ = file_requests(self.access_log, 0)
        started = time.monotonic()
        state_file = install_path("brindle.state")
        written = os.stat(state_file).st_mtime_ns

        def state_rewritten():
            return os.stat(state_file).st_mtime_ns != written
        launcher, window = self.start(install_path("brindle.exe"), "demo-second-start")
        capture = Capture(window, launcher, state_rewritten)
        self.wait_for_end(launcher, "the second run")
        self.times["second"] = time.monotonic() - started
        capture.stop()
        if not state_rewritten():
            raise DemoFailed("the second run wrote no state file")
        _, fetched = file_requests(self.access_log, requests_before)
        if fetched:
            raise DemoFailed("the second run fetched files although all were up to date: " + fetched[0])
        self.keep(self.completion(capture, "the second run"), "4-second-start")

    def run(self):
        self.first_start()
        title = self.game_started()
        check_installed(self.manifest)
        self.second_start()
        check_installed(self.manifest)
        lines = state_lines()
        if lines != len(self.manifest["files"]):
            raise DemoFailed("the state file has %s lines for %d files" % (lines, len(self.manifest["files"])))
        total = sum(entry["size"] for entry in self.manifest["files"])
        print_summary([
            ("installed into", "%s (%s): %d files, %s" % (INSTALL_FOLDER, install_path(),
                                                          len(self.manifest["files"]), megabytes(total))),
            ("state file", "%s\\brindle.state: %d lines" % (INSTALL_FOLDER, lines)),
            ("first run", "%.1f s from \"Tiếp tục\" to the game's start, %s downloaded"
             % (self.times["first"], megabytes(total))),
            ("second run", "%.1f s, everything up to date: only the manifest was fetched" % self.times["second"]),
            ("game window", "final title \"%s\" (from the GTA5.exe stand-in)" % title),
            ("screenshots", ", ".join(self.shots)),
            ("to remove it", "%s\\uninstall.exe (Windows' \"Uninstall\" for Brindle runs it; /quiet asks nothing)"
             % INSTALL_FOLDER),
        ])


def print_summary(rows):
    print("== summary")
    for label, text in rows:
        print("%-13s %s" % (label, text))


def stop_client_programs():
    """The stand-ins end when this file appears next to their records."""
    if os.path.isdir(install_path()):
        with open(install_path("standins.stop"), "w"):
            pass
        time.sleep(1)
    # And the title watchers, which would otherwise linger for half a minute.
    for name in CLIENT_PROGRAMS + ("brindle.exe", "winedbg.exe"):
        h.wine_quiet("taskkill", "/f", "/im", name)


def clean_up():
    stop_client_programs()
    h.forget_installation()
    shutil.rmtree(install_path(), ignore_errors=True)


def report(args):
    """After a run the user clicked through, wherever they installed to."""
    global INSTALL_FOLDER
    chosen = h.registry_value(h.SETTINGS_KEY, "brindle_path")
    if chosen is None:
        print("== nothing was installed")
        return 1
    if not chosen.upper().startswith("C:\\"):
        print("== installed into %s, outside drive C: of the prefix; not checked" % chosen)
        return 0
    INSTALL_FOLDER = chosen.rstrip("\\")
    manifest = load_manifest(args.release)
    check_installed(manifest)
    h.wait_for(lambda: last_game_title() == "BRINDLEHUB", 30, interval=0.2)
    print_summary([
        ("installed into", "%s (%s): %d files" % (INSTALL_FOLDER, install_path(), len(manifest["files"]))),
        ("state file", "%s\\brindle.state: %s lines" % (INSTALL_FOLDER, state_lines())),
        ("game window", "final title \"%s\"" % last_game_title()),
    ])
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("command", choices=("drive", "report"))
    parser.add_argument("--release", required=True)
    parser.add_argument("--out")
    parser.add_argument("--access-log")
    parser.add_argument("--clean-up", action="store_true")
    args = parser.parse_args()
    try:
        if args.command == "report":
            return report(args)
        if args.clean_up:
            clean_up()  # whatever an earlier test left
        Demo(args).run()
        return 0
    except DemoFailed as failure:
        print("demo failed: %s" % failure, file=sys.stderr)
        return 1
    finally:
        if args.command == "drive":
            if args.clean_up:
                clean_up()
            else:
                stop_client_programs()


if __name__ == "__main__":
    sys.exit(main())
