"""From a finished update to a running, retitled game: the real launcher
installs a release that holds the stand-in client, starts it on the 24th
frame of the completion screen, and its title watcher does the rest."""
import os
import shutil
import subprocess
import time
import unittest

import brindle_harness as h


class UpdateThenPlay(unittest.TestCase):
    def setUp(self):
        self.folder = h.empty_folder("E2E Chuỗi đầy đủ")
        h.forget_installation()

    def tearDown(self):
        # The stand-ins end on this file; the watcher would wait a minute more.
        with open(os.path.join(self.folder, "standins.stop"), "w"):
            pass
        time.sleep(1.0)
        subprocess.run(["pkill", "-f", "--", "--watch-title"], check=False)
        h.withdraw_release()
        h.forget_installation()
        shutil.rmtree(self.folder, ignore_errors=True)

    def record(self, name):
        try:
            with open(os.path.join(self.folder, name), encoding="utf-8") as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    def test_completion_starts_the_client_and_the_watcher_retitles_the_game(self):
        release = {}
        for name in h.STANDIN_NAMES:
            with open(os.path.join(h.BUILD_DIR, name), "rb") as f:
                release[name] = f.read()
        h.publish_release(release)
        h.store_install_folder("C:\\E2E Chuỗi đầy đủ")

        launcher = h.start_launcher(name="full-chain")
        try:
            # Completion, 24 frames, the launch, and the launcher is gone.
            self.assertEqual(launcher.wait(120), 0)
        finally:
            launcher.kill()

        self.assertTrue(h.wait_for(lambda: len(self.record("updater.record")) >= 2, 20),
                        "the client's start program did not run")
        cmdline, cwd = self.record("updater.record")[:2]
        self.assertEqual(cwd, "cwd C:\\E2E Chuỗi đầy đủ")
        self.assertEqual(cmdline, 'cmdline "C:\\E2E Chuỗi đầy đủ\\updater.exe"')
        self.assertIsNotNone(h.wait_for_window("BRINDLEHUB", 30), "the game window was not retitled")
        self.assertTrue(h.wait_for(lambda: "ok" in self.record("ragemp_v.record"), 15),
                        "the client's dialog was not dismissed through OK")
        # Without a window manager Wine takes a moment to take a closed window off the screen.
        self.assertTrue(h.wait_for(lambda: h.find_windows("RAGE Multiplayer") == [], 10),
                        "the client's dialog is still on the screen")


if __name__ == "__main__":
    unittest.main()
