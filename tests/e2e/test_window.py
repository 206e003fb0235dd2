"""The launcher's window and its two modes, seen from outside like a user would."""
import os
import shutil
import tempfile
import time
import unittest

import brindle_harness as h


class LauncherWindow(unittest.TestCase):
    def test_window_is_centred_borderless_and_closes_with_exit_code_0(self):
        launcher = h.start_launcher(name="window")
        try:
            window = h.wait_for_window(program=launcher)
            self.assertIsNotNone(window, "no launcher window appeared")
            time.sleep(1.0)  # let a few frames present

            x, y, width, height = h.window_geometry(window)
            self.assertEqual((width, height), (520, 383))
            self.assertEqual((x, y), ((1920 - 520) // 2, (1080 - 383) // 2))

            shot = h.Screenshot("window")
            # The launcher draws edge to edge (no frame or caption of the system's),
            # and not one pixel beyond 520 x 383.
            desktop = shot.pixel(x - 5, y + 190)
            for px, py in [(x + 260, y + 190), (x + 2, y + 190), (x + 517, y + 190), (x + 260, y + 2),
                           (x + 260, y + 380)]:
                self.assertFalse(h.close_enough(shot.pixel(px, py), desktop, 2),
                                 "pixel %r is the desktop's %r" % ((px, py), desktop))
            for px, py in [(x - 1, y + 190), (x + 520, y + 190), (x + 260, y - 1), (x + 260, y + 383)]:
                self.assertTrue(h.close_enough(shot.pixel(px, py), desktop, 2),
                                "the window reaches %r: %r" % ((px, py), shot.pixel(px, py)))

            h.press_keys(window, "alt+F4")
            self.assertEqual(launcher.wait(30), 0)
        finally:
            launcher.kill()


class TitleWatcherMode(unittest.TestCase):
    # The watcher shows nothing and may run for half an hour; what shows that
    # the mode was chosen is a stand-in game window getting the brand title.
    def assert_watcher_mode(self, launcher):
        folder = h.StandInFolder("watcher mode", names=("GTA5.exe",))
        try:
            folder.start("GTA5.exe")
            self.assertIsNotNone(h.wait_for_window("BRINDLEHUB", 20), "the game window was not retitled")
            self.assertTrue(launcher.running())
            self.assertEqual(h.find_windows(h.WINDOW_TITLE), [])
        finally:
            folder.close()

    def test_the_switch_as_an_argument_selects_it(self):
        for args in (["--watch-title"], ["first", "--watch-title", "last"]):
            with self.subTest(args=args):
                launcher = h.start_launcher(args, name="watcher")
                try:
                    self.assert_watcher_mode(launcher)
                finally:
                    launcher.kill()

    def test_the_switch_in_the_program_path_or_inside_an_argument_opens_the_launcher(self):
        folder = tempfile.mkdtemp(prefix="in--watch-title-")
        self.addCleanup(shutil.rmtree, folder)
        copy = os.path.join(folder, "brindle.exe")
        shutil.copy(h.EXE, copy)
        for exe, args in ((copy, []), (h.EXE, ["x--watch-titley"]), (h.EXE, ["--WATCH-TITLE", "--anything-else"])):
            with self.subTest(exe=exe, args=args):
                launcher = h.start_launcher(args, exe=exe, name="not-watcher")
                try:
                    window = h.wait_for_window(program=launcher)
                    self.assertIsNotNone(window, "the launcher did not open")
                    h.press_keys(window, "alt+F4")
                    self.assertEqual(launcher.wait(30), 0)
                finally:
                    launcher.kill()


if __name__ == "__main__":
    unittest.main()
