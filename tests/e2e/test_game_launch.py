"""The title watcher in the real program, with its real limits, against the
stand-ins for the client and the game started the way the launch starts them."""
import os
import time
import unittest

import brindle_harness as h

GAME_TITLE = "Grand Theft Auto V"
BRAND_TITLE = "BRINDLEHUB"


class TitleWatcherWithTheRealLimits(unittest.TestCase):
    def test_dismisses_the_dialog_retitles_the_game_and_ends_30_seconds_later(self):
        folder = h.StandInFolder("launch")
        watcher = None
        try:
            watcher = h.start_launcher(["--watch-title"], name="title-watcher")
            client = folder.start("updater.exe")
            self.assertEqual(client.wait(30), 0)
            self.assertEqual(folder.record("updater.record")[2:], ["started ragemp_v.exe", "started GTA5.exe"])

            self.assertTrue(folder.wait_for_record("ragemp_v.record", "ok"), folder.record("ragemp_v.record"))
            game = h.wait_for_window(BRAND_TITLE, 20)
            titled_at = time.monotonic()
            self.assertIsNotNone(game, "the game window was not retitled")
            self.assertEqual(folder.record("ragemp_v.record")[:2], ["shown", "ok"])
            # The stand-in records the click before its box has gone from the screen.
            self.assertTrue(h.wait_for(lambda: h.find_windows("RAGE Multiplayer") == [], 5),
                            h.find_windows("RAGE Multiplayer"))
            self.assertEqual(h.find_windows(GAME_TITLE), [])

            # The title stays, so the watcher ends once it has stayed for 30 seconds.
            code = watcher.wait(60)
            ended_after = time.monotonic() - titled_at
            self.assertEqual(code, 0)
            self.assertGreaterEqual(ended_after, 28.0)
            self.assertLess(ended_after, 45.0)

            self.assertEqual(folder.record("GTA5.record"),
                             ["window 800x600", "title " + GAME_TITLE, "settext " + BRAND_TITLE,
                              "title " + BRAND_TITLE])
            self.assertEqual(h.find_windows(BRAND_TITLE), [game])
        finally:
            if watcher is not None:
                watcher.kill()
            folder.close()


class ClientProgramName(unittest.TestCase):
    def test_is_not_stored_in_plain_text(self):
        for built in ("libbrindle_core.a", "brindle.exe"):
            with open(os.path.join(h.BUILD_DIR, built), "rb") as binary:
                content = binary.read()
            with self.subTest(built=built):
                self.assertNotIn("updater.exe".encode("utf-16-le"), content)
                self.assertNotIn(b"updater.exe", content)
                # The search does find the plain texts next to it.
                self.assertIn("--watch-title".encode("utf-16-le"), content)

if __name__ == "__main__":
    unittest.main()
