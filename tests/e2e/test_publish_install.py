"""A release published with brindle-publish, served by the loopback server,
is what the real launcher installs: first the whole release, then the next
one with a changed file, a file dropped and a --delete."""
import os
import shutil
import subprocess
import unittest

import brindle_harness as h

PUBLISH = os.path.join(h.BUILD_DIR, "native", "brindle-publish")
INSTALL_NAME = "Bản phát hành"


class PublishedReleaseInstall(unittest.TestCase):
    def setUp(self):
        self.install = h.drive_c(INSTALL_NAME)
        self.release = os.path.join(h.SERVER_DIR, "root", "published")
        for folder in (self.install, self.release):
            shutil.rmtree(folder, ignore_errors=True)
            os.makedirs(folder)
        h.forget_installation()
        h.store_install_folder("C:\\" + INSTALL_NAME)

    def tearDown(self):
        h.withdraw_release()
        h.forget_installation()
        shutil.rmtree(self.install, ignore_errors=True)
        shutil.rmtree(self.release, ignore_errors=True)

    def put(self, path, content):
        target = os.path.join(self.release, *path.split("/"))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as f:
            f.write(content)

    def publish(self, *deletes):
        args = [PUBLISH, self.release, "http://127.0.0.1:%d/published" % h.server_port(),
                "--output", os.path.join(h.SERVER_DIR, "root", "manifest.json")]
        for path in deletes:
            args += ["--delete", path]
        result = subprocess.run(args, capture_output=True, text=True, timeout=120)
        self.assertEqual(result.returncode, 0, result.stderr)

    def run_update(self, name):
        """Starts the launcher and waits until it has written a new state file."""
        state = os.path.join(self.install, "brindle.state")
        before = os.stat(state).st_mtime_ns if os.path.exists(state) else None
        launcher = h.start_launcher(name=name)
        try:
            if not h.wait_for(lambda: os.path.exists(state) and os.stat(state).st_mtime_ns != before, 90):
                shot = h.Screenshot(name + "-no-state")
                self.fail("the launcher wrote no state file (install folder on record: %r; screen: %s)"
                          % (h.registry_value(h.SETTINGS_KEY, "brindle_path"), shot.path))
            self.assertEqual(h.end_after_run(launcher), 0)
        finally:
            launcher.kill()
        with open(state, encoding="utf-8") as f:
            return sorted(line.split(" ", 3)[3] for line in f.read().splitlines())

    def installed(self):
        found = {}
        for folder, _, names in h.walk_install(self.install):
            for name in names:
                path = os.path.relpath(os.path.join(folder, name), self.install).replace(os.sep, "/")
                if path not in ("brindle.state", "brindle.exe"):
                    with open(os.path.join(folder, name), "rb") as f:
                        found[path] = f.read()
        return found

    def test_installs_and_updates_what_the_tool_published(self):
        first = {
            "Bản đồ/khu vực 1.dat": os.urandom(1500000),
            "dữ liệu/âm thanh/nhạc nền #1.ogg": os.urandom(40000),
            "cấu hình/người chơi & bạn bè.json": b'{"ok": true}',
            "readme.txt": b"first release",
        }
        for path, content in first.items():
            self.put(path, content)
        self.publish()
        self.assertEqual(sorted(self.run_update("published-first")), sorted(first))
        self.assertEqual(self.installed(), first)

        # The next release: one file changed, one dropped, one stray local
        # file deleted on the server's word.
        second = dict(first)
        second["readme.txt"] = b"second release"
        del second["cấu hình/người chơi & bạn bè.json"]
        os.remove(os.path.join(self.release, "cấu hình", "người chơi & bạn bè.json"))
        self.put("readme.txt", second["readme.txt"])
        with open(os.path.join(self.install, "cũ.log"), "wb") as f:
            f.write(b"stray")
        self.publish("cũ.log")
        self.assertEqual(sorted(self.run_update("published-second")), sorted(second))
        self.assertEqual(self.installed(), second)


if __name__ == "__main__":
    unittest.main()
