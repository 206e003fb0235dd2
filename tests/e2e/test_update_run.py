"""The real launcher, started with an installation on record, brings the
install folder in line with the release on the built-in manifest address."""
import os
import shutil
import unittest

import brindle_harness as h


class UpdateRun(unittest.TestCase):
    def setUp(self):
        self.folder = h.empty_folder("E2E Cài đặt")
        h.forget_installation()

    def tearDown(self):
        h.withdraw_release()
        h.forget_installation()
        shutil.rmtree(self.folder, ignore_errors=True)

    def run_launcher(self, exe):
        launcher = h.start_launcher(exe=exe, name="update-run")
        try:
            state = os.path.join(self.folder, "brindle.state")
            self.assertTrue(h.wait_for(lambda: os.path.exists(state), 60), "no state file was written")
            self.assertEqual(h.end_after_run(launcher), 0)
        finally:
            launcher.kill()

    def test_installs_the_release(self):
        # The launcher already installed, and started from its installed copy.
        installed_exe = os.path.join(self.folder, "brindle.exe")
        shutil.copy(h.EXE, installed_exe)
        with open(h.EXE, "rb") as f:
            own_bytes = f.read()
        h.store_install_folder("C:\\E2E Cài đặt")
        release = {
            "data/a.bin": os.urandom(200000),
            "Bản đồ/khu vực 1.dat": b"map data",
        }
        h.publish_release(release)

        self.run_launcher(installed_exe)

        for path, content in release.items():
            with open(os.path.join(self.folder, *path.split("/")), "rb") as f:
                self.assertEqual(f.read(), content, path)
        with open(installed_exe, "rb") as f:
            self.assertEqual(f.read(), own_bytes, "the launcher's own copy was changed")
        with open(os.path.join(self.folder, "brindle.state"), encoding="utf-8") as f:
            lines = f.read().splitlines()
        recorded = sorted(line.split(" ", 3)[3] for line in lines)
        self.assertEqual(recorded, sorted(release))
        self.assertEqual(h.registry_value(h.SETTINGS_KEY, "brindle_path"), "C:\\E2E Cài đặt")


if __name__ == "__main__":
    unittest.main()
