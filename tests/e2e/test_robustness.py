"""The real launcher where players and the system push it: closed at any
moment of a run, started twice, clicked while its folder dialog is open,
switched with Alt+Enter, minimised during a long download."""
import hashlib
import os
import random
import shutil
import subprocess
import time
import unittest

import brindle_harness as h

WINDOW_TOOL = os.path.join(h.BUILD_DIR, "brindle_window_tool.exe")
CLOSE_BUTTON = (494, 25)
CHOOSE_BUTTON = (448, 219)
CONTINUE_BUTTON = (415, 278)
# What Wine writes when a program of ours faults, whatever WINEDEBUG says.
FAULT_WORDS = ("Unhandled", "page fault", "exception", "Backtrace")


def content(seed, size):
    """size bytes that differ for every seed."""
    block = hashlib.sha256(seed.encode()).digest() * 2048  # 64 KiB
    return (block * (size // len(block) + 1))[:size]


def window_state():
    """(iconic, visible, enabled, x, y, width, height) of the launcher's window, or None."""
    out = h.artefact_path("window-state.txt")
    with open(out, "w") as f:
        code = subprocess.run(["wine", WINDOW_TOOL, "state"], stdin=subprocess.DEVNULL, stdout=f,
                              stderr=subprocess.DEVNULL).returncode
    if code != 0:
        return None
    with open(out) as f:
        return tuple(int(v) for v in f.read().split())


def window_tool(command):
    subprocess.run(["wine", WINDOW_TOOL, command], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=True)


def click(window, x, y):
    wx, wy, _, _ = h.window_geometry(window)
    subprocess.run(["xdotool", "mousemove", str(wx + x), str(wy + y), "click", "1"], check=True)


def cpu_ticks(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime + stime


def manifest_requests(since):
    return [line for line in h.requests_seen()[since:] if line.split()[1:2] == ["/manifest.json"]]


def log_of(program):
    with open(program.log_path, "rb") as f:
        return f.read().decode("utf-8", "replace")


class Installed(h.InstalledTestCase):
    """A test with an install folder stored for the launcher and a release served."""

    FOLDER = "E2E Bền bỉ"

    def files(self):
        """{"/" separated path: bytes} of the install folder, but the launcher's copy and state.
        The state file's side file counts as state: a run ended while it writes the state
        leaves it beside the whole previous state file, and the next write replaces it."""
        found = {}
        for base, _, names in h.walk_install(self.folder):
            for name in names:
                path = os.path.relpath(os.path.join(base, name), self.folder).replace(os.sep, "/")
                if path not in ("brindle.exe", "brindle.state", "brindle.state.new", "standins.stop"):
                    with open(os.path.join(base, name), "rb") as f:
                        found[path] = f.read()
        return found


class ClosedAtAnyMoment(Installed):
    RUNS = 40

    def old_release(self):
        return {"data/lớn.bin": content("old big", 48 << 20), "data/giữ.txt": b"kept as it is",
                **{"maps/khu %d.dat" % i: content("old map %d" % i, 64 << 10) for i in range(8)}}

    def new_release(self):
        return {"data/lớn.bin": content("new big", 48 << 20), "data/giữ.txt": b"kept as it is",
                **{"maps/khu %d.dat" % i: content("new map %d" % i, 64 << 10) for i in range(8)}}

    def put_back(self, release):
        """The folder as the old release left it, without a state file, so that
        every run registers, fetches, hashes and downloads."""
        found = self.files()
        for path in found.keys() - release.keys():
            os.remove(os.path.join(self.folder, path))
        for path, data in release.items():
            if found.get(path) != data:
                os.makedirs(os.path.dirname(os.path.join(self.folder, path)), exist_ok=True)
                with open(os.path.join(self.folder, path), "wb") as f:
                    f.write(data)
        state = os.path.join(self.folder, "brindle.state")
        if os.path.exists(state):
            os.remove(state)

    def test_every_close_ends_cleanly_and_leaves_whole_files(self):
        old, new = self.old_release(), self.new_release()
        # Slow enough that a run lasts longer than the two seconds the launcher
        # takes to end after a close under Wine (its window goes slowly without
        # a window manager), during which the worker goes on.
        routes = {path: "slow/25/piece/16384/" for path in new if path.startswith("maps/")}
        routes["data/lớn.bin"] = "slow/15/piece/262144/"
        served = h.publish_release(new, routes=routes)
        # The manifest itself trickles in too, so that closes land while it is fetched.
        with open(os.path.join(h.SERVER_DIR, "root", "manifest-slow.json"), "w", encoding="utf-8") as f:
            import json
            json.dump(served, f, ensure_ascii=False)
        h.route_manifest("slow/100/piece/128/file/manifest-slow.json")

        seed = int(os.environ.get("BRINDLE_CLOSE_SEED", time.time()))
        chance = random.Random(seed)
        print("close moments from seed %d" % seed)
        reached = {}
        for run in range(self.RUNS):
            before = len(h.requests_seen())
            self.put_back(old)
            how = "alt+F4" if run % 2 else "close button"
            moment = chance.uniform(0.0, 5.0)
            with self.subTest(run=run, how=how, moment=round(moment, 2)):
                launcher = self.start("closed-%d" % run)
                window = h.wait_for_window(program=launcher, timeout=30)
                self.assertIsNotNone(window, "no window")
                time.sleep(moment)
                if launcher.running():
                    if how == "alt+F4":
                        h.press_keys(window, "alt+F4")
                    else:
                        click(window, *CLOSE_BUTTON)
                code = launcher.wait(30)
                log = log_of(launcher)
                self.assertEqual(code, 0, log)
                self.assertFalse([word for word in FAULT_WORDS if word in log], log)
                found = self.files()
                self.assertEqual(found.keys(), old.keys())
                for path, data in found.items():
                    self.assertIn(data, (old[path], new[path]), "%s is neither the old file nor the new" % path)
                self.assertEqual([p for p in found if p.endswith(".part")], [])
            # Where the close found the run, by what the server saw.
            asked = [line for line in h.requests_seen()[before:]
                     if "/manifest.json" in line or "/file/release/" in line]
            files = sum(1 for line in asked if "/file/release/" in line)
            recorded = os.path.exists(os.path.join(self.folder, "brindle.state"))
            phase = ("before the manifest" if not asked else "manifest or file check" if files == 0
                     else "done" if recorded else "downloads")
            reached[phase] = reached.get(phase, 0) + 1
        print("closed: %s" % ", ".join("%s %d" % item for item in sorted(reached.items())))


class SecondStart(Installed):
    def test_a_second_start_shows_the_first_and_touches_nothing(self):
        with open(os.path.join(h.BUILD_DIR, "updater.exe"), "rb") as f:
            client = f.read()
        release = {"updater.exe": client, "data/chậm.bin": content("slow", 2 << 20)}
        h.publish_release(release, routes={"data/chậm.bin": "slow/20/piece/32768/"})
        before = len(h.requests_seen())

        first = self.start("first")
        window = h.wait_for_window(program=first)
        self.assertIsNotNone(window)
        self.assertTrue(h.wait_for(lambda: any("slow/20" in line for line in h.requests_seen()[before:]), 30),
                        "the first launcher did not get to the download")
        window_tool("minimise")
        self.assertEqual(window_state()[0], 1, "the first launcher's window did not minimise")

        started = time.monotonic()
        second = self.start("second")
        self.assertEqual(second.wait(10), 0)
        self.assertLess(time.monotonic() - started, 8)
        self.assertEqual(window_state()[:2], (0, 1), "the running launcher was not brought back")
        self.assertEqual(len(h.find_windows(h.WINDOW_TITLE)), 1)

        self.assertEqual(first.wait(120), 0)
        self.assertEqual(len(manifest_requests(before)), 1)
        record = os.path.join(self.folder, "updater.record")
        self.assertTrue(h.wait_for(lambda: os.path.exists(record), 20), "the client was not started")
        time.sleep(1)
        with open(record, encoding="utf-8") as f:
            starts = [line for line in f.read().splitlines() if line.startswith("cmdline ")]
        self.assertEqual(len(starts), 1, starts)


class FolderDialog(unittest.TestCase):
    def setUp(self):
        subprocess.run(["xdotool", "mousemove", "0", "0"], check=True)
        h.forget_installation()
        self.launcher = h.start_launcher(name="folder-dialog")
        self.window = h.wait_for_window(program=self.launcher)
        self.assertIsNotNone(self.window)
        time.sleep(1.5)  # the first frames, before the prompt takes clicks

    def tearDown(self):
        self.launcher.kill()
        h.forget_installation()
        shutil.rmtree(h.drive_c("Brindle"), ignore_errors=True)

    def test_clicks_on_the_launcher_while_it_is_open_do_nothing(self):
        before = len(h.requests_seen())
        click(self.window, *CHOOSE_BUTTON)
        dialog = h.wait_for_window("Browse for Folder", 15)
        self.assertIsNotNone(dialog, "no folder dialog")
        self.assertEqual(window_state()[2], 0, "the launcher takes input beside its dialog")
        click(self.window, *CLOSE_BUTTON)
        click(self.window, *CONTINUE_BUTTON)
        time.sleep(0.5)
        h.press_keys(dialog, "Escape")
        self.assertTrue(h.wait_for(lambda: not h.find_windows("Browse for Folder"), 10), "the dialog stayed")

        time.sleep(2)
        self.assertTrue(self.launcher.running(), "a click made during the dialog closed the launcher")
        self.assertEqual(manifest_requests(before), [], "a click made during the dialog started an update")
        self.assertEqual(window_state()[2], 1, "the launcher stayed disabled")
        # The prompt still answers: "Tiếp tục" starts the update now.
        click(self.window, *CONTINUE_BUTTON)
        self.assertTrue(h.wait_for(lambda: manifest_requests(before), 20), "the prompt no longer answers")


class Window(Installed):
    def test_alt_enter_keeps_the_window_as_it_is(self):
        h.publish_release({"a.txt": b"a"}, routes={"a.txt": "stall/0/30000/"})
        launcher = self.start("alt-enter")
        window = h.wait_for_window(program=launcher)
        self.assertIsNotNone(window)
        placed = h.window_geometry(window)
        h.press_keys(window, "alt+Return")
        time.sleep(2)
        self.assertTrue(launcher.running())
        self.assertEqual(h.window_geometry(window), placed)
        self.assertEqual(window_state()[3:], placed)
        h.press_keys(window, "alt+F4")
        self.assertEqual(launcher.wait(30), 0)

    def test_shown_or_minimised_it_rests_while_the_download_goes_on(self):
        """Xvfb's Present does not wait for a vertical blank: the frame loop
        keeps to the refresh interval itself (before: 0.9 to 1.7 cores shown)."""
        data = content("minimised", 5 << 20)
        h.publish_release({"data/dài.bin": data}, routes={"data/dài.bin": "slow/100/piece/32768/"})
        launcher = self.start("minimised")
        window = h.wait_for_window(program=launcher)
        self.assertIsNotNone(window)
        pid = launcher.process.pid

        def cpu_over(seconds):
            ticks = cpu_ticks(pid)
            time.sleep(seconds)
            return (cpu_ticks(pid) - ticks) / os.sysconf("SC_CLK_TCK") / seconds

        time.sleep(1)
        shown = cpu_over(4)
        print("CPU while shown: %.3f of a core" % shown)
        self.assertLess(shown, 0.35)
        window_tool("minimise")
        self.assertEqual(window_state()[0], 1)
        time.sleep(1)
        used = cpu_over(5)
        print("CPU while minimised: %.3f of a core" % used)
        self.assertLess(used, 0.25)
        # The download went on meanwhile, and ends the run.
        self.assertTrue(h.wait_for(lambda: os.path.exists(os.path.join(self.folder, "data", "dài.bin")), 30))
        with open(os.path.join(self.folder, "data", "dài.bin"), "rb") as f:
            self.assertEqual(f.read(), data)


if __name__ == "__main__":
    unittest.main()
