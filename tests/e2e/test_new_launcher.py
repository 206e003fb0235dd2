"""A release that brings a new launcher: a new launcher that does not come up
is ended and refused, and the old one starts the game; one that comes up
takes over; a launcher closed or killed at any moment of such a run leaves a
launcher that starts and converges."""
import hashlib
import os
import random
import signal
import subprocess
import time

import brindle_harness as h

SWITCH = "--confirm-start="


def build_file(name):
    with open(os.path.join(h.BUILD_DIR, name), "rb") as f:
        return f.read()


def digest(data):
    return hashlib.sha256(data).hexdigest()


def launcher_processes():
    """{pid: command line} of every launcher process (title watchers aside)."""
    found = {}
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                line = f.read().replace(b"\0", b" ").decode("utf-8", "replace")
        except OSError:
            continue
        if "brindle.exe" in line.lower() and "--watch-title" not in line:
            found[int(pid)] = line
    return found


def end_watchers():
    """The title watchers of earlier runs: one runs the launcher's file that a swap puts aside,
    which then stays until a later start (tested on its own)."""
    subprocess.run(["pkill", "-f", "--", "--watch-title"], check=False)
    h.wait_for(lambda: not subprocess.run(["pgrep", "-f", "--", "--watch-title"], capture_output=True).stdout, 10)


def end_half_made_launcher():
    """Under Wine a process whose creator is killed inside CreateProcessW can stay half made: one
    thread reading a pipe from its creator, for ever (Windows makes a process whole or not at all).
    Such a copy never ran a line of the launcher; it is ended here. True when there was one."""
    for pid in launcher_processes():
        try:
            threads = len(os.listdir("/proc/%d/task" % pid))
            age = time.time() - os.stat("/proc/%d" % pid).st_ctime
        except OSError:
            continue
        if threads == 1 and age > 5:
            os.kill(pid, signal.SIGKILL)
            return True
    return False


class NewLauncher(h.InstalledTestCase):
    FOLDER = "E2E Trình mới"
    RUNS = 4

    def setUp(self):
        super().setUp()
        self.old = build_file("brindle.exe")
        self.next = build_file("brindle_next.exe")
        self.assertNotEqual(self.old, self.next)
        self.exe = "C:\\%s\\brindle.exe" % self.FOLDER
        self.put_back(self.old)

    def path(self, *parts):
        return os.path.join(self.folder, *parts)

    def read(self, *parts):
        with open(self.path(*parts), "rb") as f:
            return f.read()

    def put_back(self, launcher, files=()):
        """The installed launcher (and files) as an earlier release left them, without a state file."""
        end_watchers()
        for name in ("brindle.exe", "brindle.state", "brindle.exe.old", "updater.record", "launcher.record"):
            if os.path.exists(self.path(name)):
                os.remove(self.path(name))  # not rewritten: a watcher may still map the file
        with open(self.path("brindle.exe"), "wb") as f:
            f.write(launcher)
        for path, data in dict(files).items():
            os.makedirs(os.path.dirname(self.path(path)), exist_ok=True)
            with open(self.path(path), "wb") as f:
                f.write(data)

    def release(self, launcher, **more):
        return {"brindle.exe": launcher, "updater.exe": build_file("updater.exe"), "data/a.txt": b"a" * 1000,
                **more}

    def client_starts(self, record="updater.record"):
        """The starts a stand-in recorded: the client's start program's, or a refused launcher's."""
        if not os.path.exists(self.path(record)):
            return []
        with open(self.path(record), encoding="utf-8") as f:
            return [line for line in f.read().splitlines() if line.startswith("cmdline ")]

    def run_installed(self, name, timeout=120):
        """Starts the installed launcher and waits until no launcher runs any more."""
        launcher = self.start(name, exe=self.exe)
        self.assertTrue(h.wait_for(lambda: not launcher.running() and not launcher_processes(), timeout, 0.25),
                        "a launcher still runs: %s" % launcher_processes())
        time.sleep(1)  # the client's stand-in records its start
        return launcher

    def recorded(self, path):
        with open(self.path("brindle.state"), encoding="utf-8") as f:
            for line in f.read().splitlines():
                fields = line.split(" ", 3)
                if len(fields) == 4 and fields[3] == path:
                    return fields[0]
        return None

    def test_a_launcher_that_does_not_come_up_is_refused_one_that_does_takes_over(self):
        for stand_in, at_most in (("launcher_exits.exe", 25), ("launcher_hangs.exe", 60), (None, 25)):
            with self.subTest(stand_in=stand_in or "no program"):
                self.put_back(self.old)
                h.wine_quiet("reg", "delete", h.UNINSTALL_KEY, "/v", "RefusedLauncher", "/f")
                bad = build_file(stand_in) if stand_in else b"MZ but no program at all"
                h.publish_release(self.release(bad))
                started = time.monotonic()
                self.run_installed("refuses-%s" % stand_in)
                took = time.monotonic() - started
                print("%s: the run and the roll-back took %.1f s" % (stand_in or "no program", took))
                self.assertLess(took, at_most)
                self.assertEqual(self.read("brindle.exe"), self.old)
                self.assertFalse(os.path.exists(self.path("brindle.exe.old")))
                self.assertEqual(len(self.client_starts()), 1, self.client_starts())
                tried = self.client_starts("launcher.record")
                self.assertEqual(len(tried), 1 if stand_in else 0, tried)
                self.assertTrue(all(SWITCH in line for line in tried), tried)
                self.assertEqual(h.registry_value(h.UNINSTALL_KEY, "RefusedLauncher"), digest(bad))
                self.assertIsNone(self.recorded("brindle.exe"))

                before = len(h.requests_seen())
                self.run_installed("refused-%s" % stand_in)
                self.assertEqual([line for line in h.requests_seen()[before:] if digest(bad) in line], [])
                self.assertEqual(self.read("brindle.exe"), self.old)
                self.assertEqual(len(self.client_starts()), 2)

        # A later release with a launcher that comes up: B takes over and starts the game once.
        end_watchers()
        h.publish_release(self.release(self.next))
        self.run_installed("hands-over")
        self.assertEqual(self.read("brindle.exe"), self.next)
        self.assertEqual(self.recorded("brindle.exe"), digest(self.next))
        self.assertFalse(os.path.exists(self.path("brindle.exe.old")), "the old launcher was left aside")
        self.assertEqual(len(self.client_starts()), 3)
        self.assertEqual(h.registry_value(h.UNINSTALL_KEY, "DisplayVersion"), "1.0.0.1")
        before = len(h.requests_seen())
        self.run_installed("after-hand-over")
        self.assertEqual([line for line in h.requests_seen()[before:] if "/file/release/" in line], [])
        self.assertEqual(len(self.client_starts()), 4)

    def test_killed_at_any_moment_a_launcher_stays_and_converges(self):
        maps = {"maps/khu %d.dat" % i: hashlib.sha256(b"map %d" % i).digest() * 4096 for i in range(6)}
        old_files = {"updater.exe": build_file("updater.exe"), "data/a.txt": b"old"}
        new = self.release(self.next, **maps)
        # Slow enough that kills land in every step: the manifest, the files,
        # the swap, the hand-over and the new launcher's own run.
        h.publish_release(new, routes={path: "slow/100/piece/4096/" for path in maps})
        seed = int(os.environ.get("BRINDLE_CLOSE_SEED", time.time()))
        chance = random.Random(seed)
        print("kill moments from seed %d" % seed)
        reached = {}
        for run in range(self.RUNS):
            moment = chance.uniform(0.5, 9.0)
            with self.subTest(run=run, moment=round(moment, 2)):
                self.put_back(self.old, old_files)
                launcher = self.start("killed-%d" % run, exe=self.exe)
                time.sleep(moment)
                # Only the launcher started here: a new one that it started lives on.
                running = launcher_processes().values()
                taken_over = any(SWITCH in line for line in running)
                swapped = self.read("brindle.exe") == self.next
                moment_name = "handing over" if taken_over else "swapped" if swapped else "before the swap"
                reached[moment_name] = reached.get(moment_name, 0) + 1
                window = h.find_windows(h.WINDOW_TITLE) if run % 2 else []
                if window and not taken_over:
                    h.press_keys(window[0], "alt+F4")
                else:
                    for pid, line in launcher_processes().items():
                        if SWITCH not in line:
                            os.kill(pid, signal.SIGKILL)
                half_made = []
                self.assertTrue(h.wait_for(lambda: (end_half_made_launcher() and half_made.append(run)) or
                                           not launcher_processes(), 90, 0.25), launcher_processes())
                if half_made:
                    reached["left half made by Wine"] = reached.get("left half made by Wine", 0) + 1
                self.assertIn(self.read("brindle.exe"), (self.old, self.next))

                self.run_installed("converges-%d" % run)
                self.assertEqual(self.read("brindle.exe"), self.next)
                for path, data in new.items():
                    self.assertEqual(self.read(*path.split("/")), data, path)
                self.assertFalse(os.path.exists(self.path("brindle.exe.old")))
                self.assertEqual(self.recorded("brindle.exe"), digest(self.next))
                # Once by the converging run, and once before by a new launcher that took over.
                self.assertIn(len(self.client_starts()), (1, 2))
        print("ended: %s" % ", ".join("%s %d" % item for item in sorted(reached.items())))


if __name__ == "__main__":
    import unittest
    unittest.main()
