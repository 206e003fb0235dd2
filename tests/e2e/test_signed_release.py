"""The release build as a community ships it: the real launcher built in
Release, with an https manifest address and the tests' public key built in
(tests/CMakeLists.txt, build/signed), installs a release that brindle-publish
signed, over HTTPS end to end; the same manifest changed by one byte changes
nothing."""
import os
import shutil
import subprocess
import tempfile
import time
import unittest

import brindle_harness as h

SIGNED_EXE = os.path.join(h.BUILD_DIR, "signed", "brindle.exe")
PUBLISH = os.path.join(h.BUILD_DIR, "native", "brindle-publish")
TLS_SERVER = os.path.join(h.BUILD_DIR, "test-server-tls")
TLS_ROOT = os.path.join(TLS_SERVER, "root")
KEYS = os.environ.get("BRINDLE_TEST_KEYS_DIR", os.path.join(h.BUILD_DIR, "test-keys"))
FOLDER = "E2E Bản phát hành ký"


def state_paths(folder):
    try:
        with open(os.path.join(folder, "brindle.state"), encoding="utf-8") as f:
            return sorted(line.split(" ", 3)[3] for line in f.read().splitlines() if line.count(" ") >= 3)
    except FileNotFoundError:
        return None


class SignedHttpsRelease(unittest.TestCase):
    def setUp(self):
        self.folder = h.empty_folder(FOLDER)
        h.forget_installation()
        h.store_install_folder("C:\\" + FOLDER)
        self.release = tempfile.mkdtemp(prefix="brindle-signed-release-")
        self.files = {"dữ liệu/bản đồ 1.dat": os.urandom(300000), "âm thanh/nhạc.ogg": os.urandom(5000),
                      "readme.txt": b"xin chao"}
        for path, data in self.files.items():
            target = os.path.join(self.release, *path.split("/"))
            os.makedirs(os.path.dirname(target), exist_ok=True)
            with open(target, "wb") as f:
                f.write(data)
        served = os.path.join(TLS_ROOT, "e2e-signed")
        shutil.rmtree(served, ignore_errors=True)
        shutil.copytree(self.release, served)
        self.manifest = os.path.join(TLS_ROOT, "manifest.json")
        result = subprocess.run([PUBLISH, self.release, "https://127.0.0.1:18744/file/e2e-signed/",
                                 "-o", self.manifest, "--sign", os.path.join(KEYS, "manifest.key")],
                                capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.launcher = None

    def tearDown(self):
        if self.launcher is not None:
            self.launcher.kill()
        for name in ("manifest.json", "manifest.json.sig"):
            if os.path.exists(os.path.join(TLS_ROOT, name)):
                os.remove(os.path.join(TLS_ROOT, name))
        shutil.rmtree(os.path.join(TLS_ROOT, "e2e-signed"), ignore_errors=True)
        shutil.rmtree(self.release, ignore_errors=True)
        h.forget_installation()
        shutil.rmtree(self.folder, ignore_errors=True)

    def run_launcher(self, name):
        self.launcher = h.start_launcher(exe=SIGNED_EXE, name=name)
        return self.launcher

    def test_installs_the_signed_release_and_refuses_it_changed(self):
        launcher = self.run_launcher("signed-release")
        self.assertTrue(h.wait_for(lambda: state_paths(self.folder) == sorted(self.files), 90),
                        "the signed release was not installed: %r" % state_paths(self.folder))
        self.assertEqual(h.end_after_run(launcher), 0)
        for path, data in self.files.items():
            with open(os.path.join(self.folder, *path.split("/")), "rb") as f:
                self.assertEqual(f.read(), data, path)

        # One byte more in the manifest: the launcher shows its error and touches nothing.
        with open(os.path.join(self.folder, "brindle.state"), "rb") as f:
            state = f.read()
        requests = len(h.requests_seen(TLS_SERVER))
        with open(self.manifest, "ab") as f:
            f.write(b"\n")
        os.remove(os.path.join(self.folder, "readme.txt"))
        launcher = self.run_launcher("signed-release-changed")
        window = h.wait_for_window(program=launcher)
        self.assertIsNotNone(window)
        self.assertTrue(h.wait_for(lambda: any(line.endswith("/manifest.json.sig")
                                               for line in h.requests_seen(TLS_SERVER)[requests:]), 30),
                        "the signature was not fetched")
        time.sleep(2)
        self.assertTrue(launcher.running(), "the launcher went on as if the manifest were good")
        asked = h.requests_seen(TLS_SERVER)[requests:]
        self.assertEqual([line for line in asked if "/file/" in line], [])
        self.assertFalse(os.path.exists(os.path.join(self.folder, "readme.txt")))
        with open(os.path.join(self.folder, "brindle.state"), "rb") as f:
            self.assertEqual(f.read(), state)
        h.press_keys(window, "alt+F4")
        self.assertEqual(launcher.wait(30), 0)


if __name__ == "__main__":
    unittest.main()
