"""The launcher's screens as a player sees them: screenshots of the real
brindle.exe with pixel checks at the designed places, and the controls clicked
with the mouse.

Coordinates below are client pixels of the 520 x 383 window; colours are the
design's, blended over the washed background where the element is translucent.
"""
import hashlib
import json
import os
import shutil
import subprocess
import time
import unittest

import brindle_harness as h

GOLD = (255, 211, 106)          # brand title, percentage, check mark
BODY_TEXT = (215, 238, 244)
SECONDARY_TEXT = (167, 198, 207)
CLOSE_GLYPH = (220, 236, 240)
PATH_TEXT = (247, 251, 251)
# Translucent fills, blended over the darkest and lightest the washed background gets.
PRIMARY_BUTTON = (241, 152, 70)  # #FF9C42 at 92 %
FIELD = (15, 48, 74)             # #0A2C46 at 88 %
ERROR_TEXT = (240, 130, 130)
# Small regular text has few fully covered pixels; colours still tell texts apart.
TEXT = 24
SMALL_TEXT = 32  # the 10 px lines


def forget_install_folder():
    """A first start: no install folder stored for this user."""
    h.wine_quiet("reg", "delete", h.SETTINGS_KEY, "/v", "brindle_path", "/f")


class LauncherScreen:
    """One started launcher, its window position, and helpers in client coordinates."""

    def __init__(self, test, name):
        self.test = test
        # A pointer left over a button by an earlier test would show its hover colour.
        subprocess.run(["xdotool", "mousemove", "0", "0"], check=True)
        self.program = h.start_launcher(name=name)
        self.window = h.wait_for_window(program=self.program)
        test.assertIsNotNone(self.window, "no launcher window appeared")
        self.x, self.y, _, _ = h.window_geometry(self.window)
        self.shot = None

    def take(self, name):
        self.shot = h.Screenshot(name)
        # The window alone, for a person to look at.
        subprocess.run(["convert", self.shot.path, "-crop", "520x383+%d+%d" % (self.x, self.y), "+repage",
                        h.artefact_path(name + "-window.png")], check=True)
        return self.shot

    def pixel(self, x, y):
        return self.shot.pixel(self.x + x, self.y + y)

    def nearest(self, box, colour):
        """The pixel inside box (left, top, right, bottom) closest to colour, and its distance."""
        best = None
        for y in range(box[1], box[3]):
            for x in range(box[0], box[2]):
                c = self.pixel(x, y)
                distance = max(abs(a - b) for a, b in zip(c, colour))
                if best is None or distance < best[0]:
                    best = (distance, (x, y), c)
        return best

    def click(self, x, y):
        subprocess.run(["xdotool", "mousemove", str(self.x + x), str(self.y + y), "click", "1"], check=True)

    def assert_colour(self, x, y, colour, tolerance, what):
        actual = self.pixel(x, y)
        self.test.assertTrue(h.close_enough(actual, colour, tolerance),
                             "%s at (%d, %d) is %r, expected about %r" % (what, x, y, actual, colour))

    def assert_shows(self, box, colour, tolerance, what):
        distance, where, actual = self.nearest(box, colour)
        self.test.assertLessEqual(distance, tolerance,
                                  "%s: nothing near %r in %r (closest %r at %r)" % (what, colour, box, actual, where))

    def assert_absent(self, box, colour, tolerance, what):
        distance, where, actual = self.nearest(box, colour)
        self.test.assertGreater(distance, tolerance, "%s: %r found at %r" % (what, actual, where))

    def close(self):
        self.program.kill()


def brightness(colour):
    return sum(colour)


class FrameChecks:
    """What every screen shows: title, header rule, close button, pictures."""

    def assert_frame(self, screen):
        # Gold brand title from x = 16, y = 18; nothing of it left of 16.
        screen.assert_shows((16, 18, 110, 32), GOLD, 12, "brand title")
        screen.assert_absent((2, 18, 15, 32), GOLD, 60, "brand title left of its start")
        # The header rule: row 50 lighter than the rows around it, across the width.
        for x in (20, 150, 300, 460):
            rule, above, below = screen.pixel(x, 50), screen.pixel(x, 46), screen.pixel(x, 54)
            self.assertGreater(brightness(rule), brightness(above) + 30, "header rule at x=%d" % x)
            self.assertGreater(brightness(rule), brightness(below) + 30, "header rule at x=%d" % x)
            # #FFEEC7 lifts red more than blue over the blue wash.
            self.assertGreater(rule[0] - above[0], rule[2] - above[2], "header rule colour at x=%d: %r" % (x, rule))
        screen.assert_shows((484, 15, 504, 35), CLOSE_GLYPH, 10, "close glyph")
        # The logo's gold lettering fills its box's middle, nothing of it outside 77-159.
        screen.assert_shows((180, 120, 340, 150), (255, 190, 110), 40, "logo lettering")
        screen.assert_absent((163, 60, 357, 76), (255, 190, 110), 40, "logo above its box")
        # The footer wordmark, clipped to its band.
        screen.assert_shows((200, 320, 320, 345), GOLD, 40, "footer wordmark")
        # The background picture is there: the wash alone has no vertical change.
        column = [brightness(screen.pixel(470, y)) for y in range(60, 170, 5)]
        self.assertGreater(max(column) - min(column), 30, "no background picture under the wash")


class InstallPrompt(unittest.TestCase, FrameChecks):
    def setUp(self):
        forget_install_folder()
        self.screen = LauncherScreen(self, self.id().rsplit(".", 1)[-1])
        time.sleep(1.5)  # a few frames

    def tearDown(self):
        self.screen.close()

    def test_first_start_shows_the_install_prompt(self):
        s = self.screen
        s.take("screen-install-prompt")
        self.assert_frame(s)
        s.assert_shows((30, 182, 200, 197), BODY_TEXT, TEXT, "install caption")
        # Path box (30,204)-(398,234): field colour with a gold border, the path inside.
        s.assert_colour(390, 228, FIELD, 14, "path box")
        s.assert_colour(36, 230, FIELD, 14, "path box near its left edge")
        for x, y in ((200, 204), (30, 220), (397, 220), (200, 233)):
            border = s.pixel(x, y)
            self.assertTrue(border[0] > 70 and border[0] > border[2] + 8, "path box border at %r: %r" % ((x, y), border))
        s.assert_shows((38, 210, 110, 228), PATH_TEXT, 40, "path text")
        # "Chọn..." is an outline button: its middle shows the background, its label is gold.
        self.assertFalse(h.close_enough(s.pixel(412, 228), FIELD, 14), "choose button is not filled")
        s.assert_shows((420, 210, 480, 228), GOLD, 60, "choose label")
        s.assert_shows((30, 242, 300, 254), SECONDARY_TEXT, SMALL_TEXT, "install hint")
        # Checkbox square from (30,270), 18 px, checked by default.
        s.assert_shows((30, 270, 48, 288), GOLD, 8, "check mark")
        s.assert_shows((52, 272, 200, 287), BODY_TEXT, TEXT, "checkbox label")
        # "Tiếp tục": orange fill from x = 340 to 490, y = 262 to 294.
        for x, y in ((345, 266), (485, 290), (345, 290), (485, 266)):
            s.assert_colour(x, y, PRIMARY_BUTTON, 14, "continue button")
        for x, y in ((336, 278), (494, 278), (400, 258), (400, 298)):
            self.assertFalse(h.close_enough(s.pixel(x, y), PRIMARY_BUTTON, 40),
                             "continue button reaches (%d, %d)" % (x, y))
        s.assert_shows((380, 270, 450, 288), (9, 32, 51), 40, "continue label")
        # No status block on the prompt.
        s.assert_absent((440, 180, 490, 198), GOLD, 60, "percentage")

    def test_the_design_reaches_the_window_edge(self):
        s = self.screen
        s.take("screen-edges")
        outline = (255, 220, 150)
        # The 1-pixel outline at 0.5 is drawn anti-aliased over the two outermost
        # pixel rows and columns, half on each.
        alpha = 0x61 / 255.0 / 2
        # Along each edge, away from the rounded corners: the outermost pixel is
        # the gold outline over the washed picture, as found two pixels further in.
        points = [((x, 0), (x, 2)) for x in (40, 200, 360, 480)] + \
                 [((x, 382), (x, 380)) for x in (40, 200, 360, 480)] + \
                 [((0, y), (2, y)) for y in (30, 150, 300, 360)] + \
                 [((519, y), (517, y)) for y in (30, 150, 300, 360)]
        seen = set()
        for edge, inside in points:
            within = s.pixel(*inside)
            expected = tuple(round(alpha * o + (1 - alpha) * w) for o, w in zip(outline, within))
            actual = s.pixel(*edge)
            seen.add(actual)
            self.assertTrue(h.close_enough(actual, expected, 12),
                            "edge pixel %r is %r, expected about %r (outline over %r)" % (edge, actual, expected, within))
        # Dear ImGui's own border would give every edge pixel one grey.
        self.assertGreater(len(seen), 4, "the edge is one colour: %r" % seen)

    def test_close_button_ends_the_program_on_mouse_down(self):
        s = self.screen
        subprocess.run(["xdotool", "mousemove", str(s.x + 494), str(s.y + 25), "mousedown", "1"], check=True)
        try:
            self.assertEqual(s.program.wait(30), 0)
        finally:
            subprocess.run(["xdotool", "mouseup", "1"], check=False)

    def test_continue_starts_the_update(self):
        s = self.screen
        s.click(415, 278)
        time.sleep(1.5)
        s.take("screen-after-continue")
        self.assertTrue(s.program.running())
        self.assert_frame(s)
        # The prompt is gone: no path box below the bar, no check mark, no continue button.
        self.assertFalse(h.close_enough(s.pixel(392, 230), FIELD, 8), "path box still shown")
        s.assert_absent((30, 270, 48, 288), GOLD, 30, "check mark")
        self.assertFalse(h.close_enough(s.pixel(485, 290), PRIMARY_BUTTON, 30), "continue button still shown")
        # The status block is there: the bar track spans 30 to 490 where the choose button was.
        for x in (34, 260, 450, 486):
            s.assert_colour(x, 214, FIELD, 14, "bar track")
        self.assertFalse(h.close_enough(s.pixel(26, 214), FIELD, 8), "bar track starts left of 30")
        self.assertFalse(h.close_enough(s.pixel(494, 214), FIELD, 8), "bar track ends right of 490")


# --- screens that need an update run ------------------------------------------------------

class UpdateServer:
    """A release on the loopback test server that the built-in manifest address
    names: each file's bytes, optionally throttled, or no manifest at all (404)."""

    def __init__(self, files=None, bytes_per_second=None, manifest_status=200):
        self.contents = {path: bytes((i * 7 + len(path)) % 251 for i in range(size))
                         for path, size in (files or {}).items()}
        self.bytes_per_second = bytes_per_second
        self.manifest_status = manifest_status
        self.root = os.path.join(h.SERVER_DIR, "root", "screens")

    def __enter__(self):
        shutil.rmtree(self.root, ignore_errors=True)
        os.makedirs(self.root)
        if self.manifest_status != 200:
            h.withdraw_release()
            return self
        files = []
        for index, (path, data) in enumerate(self.contents.items()):
            with open(os.path.join(self.root, "%d.bin" % index), "wb") as f:
                f.write(data)
            route = "file/screens/%d.bin" % index
            if self.bytes_per_second:
                # Ten pieces a second.
                route = "slow/100/piece/%d/%s" % (max(1, self.bytes_per_second // 10), route)
            files.append({"path": path, "sha256": hashlib.sha256(data).hexdigest(), "size": len(data),
                          "url": "http://127.0.0.1:%d/%s" % (h.server_port(), route)})
        with open(os.path.join(h.SERVER_DIR, "root", "manifest.json"), "w", encoding="utf-8") as f:
            json.dump({"files": files, "deletes": []}, f, ensure_ascii=False)
        return self

    def __exit__(self, *exc):
        h.withdraw_release()
        shutil.rmtree(self.root, ignore_errors=True)

    @property
    def manifest_requests(self):
        with open(os.path.join(h.SERVER_DIR, "requests.log")) as log:
            return sum(1 for line in log if line.split()[1:2] == ["/manifest.json"])


class UpdateScreens(unittest.TestCase, FrameChecks):
    """Progress, completion and error, reached through real runs against a test server."""

    def setUp(self):
        h.forget_installation()
        self.addCleanup(shutil.rmtree, h.drive_c("Brindle"), True)
        self.addCleanup(h.forget_installation)

    def start_run(self, server, name):
        subprocess.run(["xdotool", "mousemove", "0", "0"], check=True)
        program = h.start_launcher(name=name)
        window = h.wait_for_window(program=program)
        self.assertIsNotNone(window)
        screen = LauncherScreen.__new__(LauncherScreen)
        screen.test, screen.program, screen.window, screen.shot = self, program, window, None
        screen.x, screen.y, _, _ = h.window_geometry(window)
        self.addCleanup(screen.close)
        time.sleep(1.5)  # the first frames, before the prompt takes clicks
        screen.click(415, 278)  # "Tiếp tục"
        return screen

    def wait_for(self, screen, name, condition, timeout=30.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline and screen.program.running():
            screen.take(name)
            if condition(screen):
                return
            time.sleep(0.05)
        self.fail("%s did not appear" % name)

    def test_progress_screen(self):
        with UpdateServer(files={"dữ liệu/bản đồ.rpf": 8 * 1024 * 1024}, bytes_per_second=1024 * 1024) as server:
            s = self.start_run(server, "progress")

            def half_way(screen):
                fill = screen.pixel(40, 214)
                return fill[0] > 200 and not h.close_enough(screen.pixel(486, 214), fill, 40)

            self.wait_for(s, "screen-progress", half_way)
            self.assert_frame(s)
            s.assert_shows((30, 184, 200, 198), BODY_TEXT, TEXT, "status line")
            # Bar track 30-490, fill from 30 in orange, lighter towards its leading end.
            s.assert_colour(34, 214, (255, 156, 66), 20, "fill start")
            self.assertFalse(h.close_enough(s.pixel(26, 214), (255, 156, 66), 60), "fill starts left of 30")
            s.assert_colour(486, 214, FIELD, 14, "track end")
            # The gold percentage ends at x = 490.
            s.assert_shows((460, 183, 490, 197), GOLD, 20, "percentage")
            s.assert_absent((491, 183, 505, 197), GOLD, 60, "percentage right of 490")
            s.assert_shows((30, 233, 200, 245), SECONDARY_TEXT, SMALL_TEXT, "detail line")
            s.assert_shows((30, 256, 120, 268), BODY_TEXT, SMALL_TEXT, "size line")

    def test_error_screen_and_retry(self):
        with UpdateServer(manifest_status=404) as server:
            s = self.start_run(server, "error")
            self.wait_for(s, "screen-error", lambda screen: screen.nearest((30, 184, 120, 198), ERROR_TEXT)[0] <= TEXT)
            self.assert_frame(s)
            s.assert_shows((30, 233, 300, 245), ERROR_TEXT, SMALL_TEXT, "error line")
            s.assert_absent((440, 180, 490, 198), GOLD, 60, "percentage on the error screen")
            s.assert_colour(40, 290, PRIMARY_BUTTON, 14, "retry button")
            s.assert_shows((180, 270, 290, 290), GOLD, 60, "launch-anyway label")
            requests = server.manifest_requests
            s.click(89, 278)  # "Thử lại"
            deadline = time.monotonic() + 20
            while server.manifest_requests == requests and time.monotonic() < deadline:
                time.sleep(0.1)
            self.assertGreater(server.manifest_requests, requests, "retry did not start a new run")

    def test_completion_screen_then_exit(self):
        with UpdateServer(files={"readme.txt": 1000}) as server:
            s = self.start_run(server, "completion")
            self.wait_for(s, "screen-completion",
                          lambda screen: screen.pixel(486, 214)[0] > 200 and screen.pixel(34, 214)[0] > 200)
            s.assert_shows((460, 183, 490, 197), GOLD, 20, "100%")
            s.assert_shows((30, 184, 200, 198), BODY_TEXT, TEXT, "status line")
            # The 24th success frame starts the game and ends the launcher.
            self.assertEqual(s.program.wait(30), 0)


if __name__ == "__main__":
    unittest.main()
