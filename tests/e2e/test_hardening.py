"""The elevated launcher and what users without administrator rights can put
in its way: DLLs planted beside the installed copy, a stored install folder
that is no plain folder, and folder links inside the install folder or in
place of the download folder."""
import glob
import os
import shutil
import subprocess
import tempfile
import time
import unittest

import brindle_harness as h

MARKER_DLLS = os.path.join(h.BUILD_DIR, "marker-dlls")
# Wine takes its own builtin DLLs first; native first is what Windows does
# with a DLL beside the program.
PLANTED = "dwmapi,winhttp,d3d11,d3dcompiler_47"


def standin(name):
    with open(os.path.join(h.BUILD_DIR, name), "rb") as f:
        return f.read()


class Installed(h.InstalledTestCase):
    FOLDER = "E2E Cứng cáp"

    def install(self, release, name):
        h.publish_release(release)
        launcher = self.start(name)
        self.assertEqual(h.end_after_run(launcher), 0)
        for path, data in release.items():
            with open(os.path.join(self.folder, *path.split("/")), "rb") as f:
                self.assertEqual(f.read(), data, path)


class PlantedDlls(Installed):
    def test_dlls_beside_the_installed_copy_are_never_loaded(self):
        self.install({"updater.exe": standin("updater.exe"), "data/a.bin": b"a" * 1000}, "install-for-dlls")
        installed = os.path.join(self.folder, "brindle.exe")
        self.assertTrue(os.path.exists(installed))
        dlls = sorted(glob.glob(os.path.join(MARKER_DLLS, "*.dll")))
        self.assertEqual(len(dlls), 4, dlls)
        for dll in dlls:
            shutil.copy(dll, self.folder)
        env = {"WINEDLLOVERRIDES": os.environ.get("WINEDLLOVERRIDES", "") + ";%s=n,b" % PLANTED}
        exe = "C:\\%s\\brindle.exe" % self.FOLDER

        # A whole update and launch from the installed copy (which starts its
        # own watcher), then the watcher mode on its own.
        h.publish_release({"updater.exe": standin("updater.exe"), "data/a.bin": b"b" * 1000})
        launcher = self.start("planted-launcher", exe=exe, env=env)
        markers = os.path.join(self.folder, "*.loaded")
        if not h.wait_for(lambda: not launcher.running() or glob.glob(markers), 60):
            launcher.kill()
        self.assertEqual(glob.glob(markers), [], "the launcher loaded DLLs from its own folder")
        self.assertEqual(h.end_after_run(launcher), 0)
        with open(os.path.join(self.folder, "data", "a.bin"), "rb") as f:
            self.assertEqual(f.read(), b"b" * 1000, "the update did not run")
        self.assertTrue(h.wait_for(lambda: os.path.exists(os.path.join(self.folder, "updater.record")), 20),
                        "the client was not started")
        watcher = self.start("planted-watcher", exe=exe, args=["--watch-title"], env=env)
        time.sleep(3)
        self.assertTrue(watcher.running())
        watcher.kill()
        self.assertEqual(glob.glob(markers), [], "the title watcher loaded DLLs from its own folder")


class StoredFolder(unittest.TestCase):
    def setUp(self):
        h.forget_installation()
        self.launcher = None

    def tearDown(self):
        if self.launcher is not None:
            self.launcher.kill()
        h.kill_stray_launchers()
        h.withdraw_release()
        h.forget_installation()
        shutil.rmtree(h.drive_c("Brindle"), ignore_errors=True)

    def test_a_stored_folder_that_is_no_plain_folder_counts_as_none(self):
        h.publish_release({"a.txt": b"a"})
        for value in ("\\\\server\\share\\Brindle", "Games\\Brindle", 'C:\\"Brindle"', "C:\\Games\\..\\Windows",
                      "\\\\?\\C:\\Brindle"):
            with self.subTest(value=value):
                before = len(h.requests_seen())
                h.store_install_folder_exactly(value)
                self.launcher = h.start_launcher(name="stored-folder")
                window = h.wait_for_window(program=self.launcher)
                self.assertIsNotNone(window)
                time.sleep(2)
                self.assertTrue(self.launcher.running())
                # The server answers unit tests beside this one too: a run starts with the manifest.
                self.assertEqual([line for line in h.requests_seen()[before:] if "/manifest.json" in line], [],
                                 "a run started from %r" % value)
                shot = h.Screenshot("stored-folder-prompt")
                x, y, _, _ = h.window_geometry(window)
                # The prompt's orange "Tiếp tục" button is there.
                self.assertTrue(h.close_enough(shot.pixel(x + 485, y + 290), (241, 152, 70), 20),
                                "no install prompt for %r" % value)
                self.launcher.kill()
        # A plain folder starts the run as before.
        h.store_install_folder("C:\\Brindle")
        self.launcher = h.start_launcher(name="stored-folder-good")
        self.assertTrue(h.wait_for(lambda: os.path.exists(h.drive_c("Brindle", "a.txt")), 60))
        h.end_after_run(self.launcher)


class FolderLinks(Installed):
    """Wine shows a Unix symbolic link to a folder as a reparse point, as
    Windows shows a junction; links to files it does not show (the worker
    tests check those through a seam)."""

    def test_no_write_or_delete_through_a_linked_folder(self):
        self.install({"maps/a.dat": b"old a", "maps/old.dat": b"old", "b.txt": b"b"}, "install-for-links")
        elsewhere = tempfile.mkdtemp(prefix="brindle-elsewhere-")
        self.addCleanup(shutil.rmtree, elsewhere, True)
        for name, data in (("a.dat", b"precious a"), ("old.dat", b"precious old")):
            with open(os.path.join(elsewhere, name), "wb") as f:
                f.write(data)
        shutil.rmtree(os.path.join(self.folder, "maps"))
        os.symlink(elsewhere, os.path.join(self.folder, "maps"))

        h.publish_release({"maps/a.dat": b"new a", "b.txt": b"b"}, deletes=["maps/old.dat"])
        launcher = self.start("through-link")
        h.end_after_run(launcher)
        with open(os.path.join(elsewhere, "a.dat"), "rb") as f:
            self.assertEqual(f.read(), b"precious a")
        self.assertTrue(os.path.exists(os.path.join(elsewhere, "old.dat")))
        self.assertEqual(sorted(os.listdir(elsewhere)), ["a.dat", "old.dat"])

        # The same release with a state file that records the linked files, to
        # be removed as dropped: they stay.
        h.publish_release({"b.txt": b"b"}, deletes=["maps/a.dat"])
        launcher = self.start("through-link-drop")
        h.end_after_run(launcher)
        self.assertEqual(sorted(os.listdir(elsewhere)), ["a.dat", "old.dat"])

    def test_a_download_folder_that_is_a_link_is_not_used(self):
        temps = glob.glob(h.drive_c("users", "*", "Temp"))
        self.assertTrue(temps)
        downloads = os.path.join(temps[0], "brindle_update")
        shutil.rmtree(downloads, ignore_errors=True)
        if os.path.islink(downloads):
            os.remove(downloads)
        elsewhere = tempfile.mkdtemp(prefix="brindle-elsewhere-")
        os.symlink(elsewhere, downloads)

        def restore():
            os.remove(downloads)
            shutil.rmtree(elsewhere, ignore_errors=True)
        self.addCleanup(restore)
        h.publish_release({"a.txt": b"a" * 5000})
        launcher = self.start("linked-downloads")
        window = h.wait_for_window(program=launcher)
        self.assertIsNotNone(window)
        self.assertTrue(h.wait_for(lambda: any("/manifest.json" in line for line in h.requests_seen()), 30))
        time.sleep(2)
        self.assertEqual(os.listdir(elsewhere), [], "a download went through the link")
        self.assertFalse(os.path.exists(os.path.join(self.folder, "a.txt")))
        h.end_after_run(launcher)


if __name__ == "__main__":
    unittest.main()
