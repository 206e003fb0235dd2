"""The real launcher, ended abruptly in the middle of a download and in the
middle of the file check, and run with an install folder and a user temp
folder whose names hold Vietnamese letters and spaces. Whatever happens, the
installation stays whole and the next start brings it to exactly the release,
without fetching again what it already has."""
import hashlib
import os
import shutil
import unittest

import brindle_harness as h


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def files_under(folder):
    """{"/" separated path: bytes} of every file under folder but the launcher's own copy."""
    found = {}
    for base, _, names in h.walk_install(folder):
        for name in names:
            path = os.path.relpath(os.path.join(base, name), folder).replace(os.sep, "/")
            if path != "brindle.exe":
                with open(os.path.join(base, name), "rb") as f:
                    found[path] = f.read()
    return found


def state_records(folder):
    """{path: sha256} of the state file, or None when there is none."""
    try:
        with open(os.path.join(folder, "brindle.state"), "rb") as f:
            text = f.read().decode("utf-8")
    except FileNotFoundError:
        return None
    records = {}
    for line in text.split("\n"):
        parts = line.split(" ", 3)
        if len(parts) == 4 and parts[3]:
            records[parts[3]] = parts[0]
    return records


def run_to_release(test, folder, release, name):
    """Starts the launcher and waits until folder holds exactly release; then
    closes the launcher if it has not ended by itself."""
    wanted = {path: sha256(content) for path, content in release.items()}
    launcher = h.start_launcher(name=name)
    try:
        test.assertTrue(h.wait_for(lambda: state_records(folder) == wanted, 90),
                        "the run did not reach the release: %r" % state_records(folder))
        # A launcher that starts the game ends by itself; one that shows its
        # last screen is closed. How it ends is not what these tests look at.
        if not h.wait_for(lambda: not launcher.running(), 10):
            window = h.wait_for_window(program=launcher, timeout=5)
            if window:
                h.press_keys(window, "alt+F4")
            h.wait_for(lambda: not launcher.running(), 20)
    finally:
        launcher.kill()
    found = files_under(folder)
    test.assertEqual(found.keys() - {"brindle.state"}, release.keys())
    for path, content in release.items():
        test.assertEqual(found[path], content, path)


class Faults(unittest.TestCase):
    FOLDER = "E2E Lỗi giữa chừng"

    def setUp(self):
        self.folder = h.empty_folder(self.FOLDER)
        h.forget_installation()
        h.store_install_folder("C:\\" + self.FOLDER)
        self.launcher = None

    def tearDown(self):
        if self.launcher is not None:
            self.launcher.kill()
        h.withdraw_release()
        h.forget_installation()
        shutil.rmtree(self.folder, ignore_errors=True)

    def start(self, name):
        self.launcher = h.start_launcher(name=name)
        return self.launcher

    def kill(self):
        """Ends the launcher the way TerminateProcess does: no clean-up of its
        own. The signal goes to this launcher's process alone (wine runs the
        program in the process it was started as), never to other programs
        of the same name that other tests may be running."""
        self.launcher.process.kill()
        self.launcher.wait(10)

    def assert_nothing_lost(self, before, state_before, release):
        """Every file is as it was, or complete as release has it; no temp file
        in the install folder; the state file is the one from before."""
        after = files_under(self.folder)
        for path, content in before.items():
            self.assertIn(path, after, "%s was lost" % path)
            self.assertIn(after[path], (content, release.get(path)), "%s was damaged" % path)
        for path, content in after.items():
            if path not in before:
                self.assertEqual(content, release.get(path), "%s appeared" % path)
        self.assertFalse([p for p in after if p.endswith(".part")])
        self.assertEqual(state_records(self.folder), state_before)

    def test_killed_mid_download_then_mid_check_and_started_again(self):
        first = {"small.txt": b"first release", "Bản đồ/khu vực 1.dat": b"map v1", "big/0.pak": b"old pak"}
        h.publish_release(first)
        run_to_release(self, self.folder, first, "faults-first")

        # The next release: small.txt is replaced at once, then the big files
        # trickle in, 64 KiB every 20 ms; the kill lands inside the first of them.
        second = {"small.txt": b"second release",
                  "Bản đồ/khu vực 1.dat": b"map v1",
                  "big/0.pak": os.urandom(96 << 20),
                  "big/1.pak": os.urandom(96 << 20)}
        h.publish_release(second, routes={"big/0.pak": "slow/20/piece/65536/", "big/1.pak": "slow/20/piece/65536/"})
        before, state_before = files_under(self.folder), state_records(self.folder)
        part_name = sha256(second["big/0.pak"]) + ".part"

        def half_downloaded():
            part = os.path.join(self.folder, h.DOWNLOAD_FOLDER, part_name)
            return os.path.exists(part) and os.path.getsize(part) >= len(second["big/0.pak"]) // 2

        self.start("faults-kill-download")
        self.assertTrue(h.wait_for(half_downloaded, 90), "the download never got halfway")
        self.kill()
        self.assert_nothing_lost(before, state_before, second)
        after = files_under(self.folder)
        self.assertEqual(after["small.txt"], second["small.txt"],
                         "the kill was meant to land after the first file was in place")
        self.assertEqual(after["big/0.pak"], first["big/0.pak"], "the kill was meant to land inside the download")

        h.publish_release(second)
        digest = sha256(second["big/0.pak"])
        sent_before = h.bytes_sent(digest)
        run_to_release(self, self.folder, second, "faults-after-download-kill")
        # The next start continues the half that was there.
        self.assertLessEqual(h.bytes_sent(digest) - sent_before, len(second["big/0.pak"]) * 0.6)

        # Every big file gets a new time stamp, so the state file vouches for
        # none and the check must hash 192 MiB (more than a second); the kill
        # lands inside that.
        for path in ("big/0.pak", "big/1.pak"):
            os.utime(os.path.join(self.folder, *path.split("/")), (1000000000, 1000000000))
        third = dict(second, **{"small.txt": b"third release"})
        h.publish_release(third)
        before, state_before = files_under(self.folder), state_records(self.folder)
        fetched = len(h.requests_seen())
        self.start("faults-kill-check")
        self.assertTrue(h.wait_for(lambda: "GET /manifest.json" in h.requests_seen()[fetched:], 60),
                        "the manifest was never fetched")
        self.kill()
        downloads = [r for r in h.requests_seen()[fetched:] if "/file/release/" in r]
        self.assertEqual(downloads, [], "the kill was meant to land inside the file check")
        self.assert_nothing_lost(before, state_before, third)

        run_to_release(self, self.folder, third, "faults-after-check-kill")


class VietnameseFolders(unittest.TestCase):
    INSTALL = "C:\\Người chơi\\Trò chơi"
    TEMP = "C:\\Người chơi\\Tạm thời"

    def setUp(self):
        self.people = h.drive_c("Người chơi")
        shutil.rmtree(self.people, ignore_errors=True)
        os.makedirs(h.drive_c("Người chơi", "Tạm thời"))
        h.forget_installation()
        h.store_install_folder(self.INSTALL)
        # The user's temp folder comes from HKCU\Environment; keep what was
        # there and put it back afterwards.
        self.saved = h.artefact_path("environment-before.reg")
        if os.path.exists(self.saved):
            os.remove(self.saved)
        h.wine_quiet("reg", "export", "HKCU\\Environment", "Z:" + self.saved.replace("/", "\\"), "/y")
        for name in ("TEMP", "TMP"):
            h.wine_quiet("reg", "add", "HKCU\\Environment", "/v", name, "/t", "REG_SZ", "/d", self.TEMP, "/f")

    def tearDown(self):
        for name in ("TEMP", "TMP"):
            h.wine_quiet("reg", "delete", "HKCU\\Environment", "/v", name, "/f")
        if os.path.exists(self.saved):
            h.wine_quiet("reg", "import", "Z:" + self.saved.replace("/", "\\"))
        h.withdraw_release()
        h.forget_installation()
        shutil.rmtree(self.people, ignore_errors=True)

    def test_installs_into_and_downloads_through_vietnamese_folders(self):
        release = {"Bản đồ/khu vực 1.dat": os.urandom(300000), "Âm thanh/tiếng động ở đây.ogg": b"am thanh"}
        h.publish_release(release)
        run_to_release(self, h.drive_c("Người chơi", "Trò chơi"), release, "faults-vietnamese")
        downloads = h.drive_c("Người chơi", "Trò chơi", h.DOWNLOAD_FOLDER)
        self.assertTrue(os.path.isdir(downloads), "the downloads did not go through the install folder")
        self.assertEqual(os.listdir(downloads), [])
        self.assertEqual(os.listdir(h.drive_c("Người chơi", "Tạm thời")), [], "a run wrote into the user's temp")
        self.assertEqual(h.registry_value(h.SETTINGS_KEY, "brindle_path"), self.INSTALL)


if __name__ == "__main__":
    unittest.main()
