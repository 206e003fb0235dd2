"""The elevated launcher and what users without administrator rights can put
in its way: DLLs planted beside the installed copy, a stored install folder
that is no plain folder or that the administrators' record does not name,
and folder links in or above the install folder or in place of the download
folder."""
import glob
import os
import shutil
import subprocess
import tempfile
import time
import unittest

import brindle_harness as h

MARKER_DLLS = os.path.join(h.BUILD_DIR, "marker-dlls")
CONTINUE_BUTTON = (415, 278)
# Wine takes its own builtin DLLs first; native first is what Windows does
# with a DLL beside the program.
PLANTED = "dwmapi,winhttp,d3d11,d3dcompiler_47"


def click(window, x, y):
    wx, wy, _, _ = h.window_geometry(window)
    subprocess.run(["xdotool", "mousemove", str(wx + x), str(wy + y), "click", "1"], check=True)


def manifest_requests(since):
    return [line for line in h.requests_seen()[since:] if "/manifest.json" in line]


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


class Unregistered(unittest.TestCase):
    """A test that starts from a prefix where nothing was installed, and
    leaves it so; the folders it names in self.folders go at the end."""

    def setUp(self):
        h.forget_installation()
        self.launcher = None
        self.folders = []

    def tearDown(self):
        if self.launcher is not None:
            self.launcher.kill()
        h.kill_stray_launchers()
        h.withdraw_release()
        h.forget_installation()
        for folder in self.folders:
            shutil.rmtree(folder, ignore_errors=True)


class StoredFolder(Unregistered):
    def setUp(self):
        super().setUp()
        self.folders = [h.drive_c("Brindle")]

    def expect_prompt(self, what):
        """The launcher waits on its install prompt and fetches nothing; its window."""
        before = len(h.requests_seen())
        self.launcher = h.start_launcher(name="stored-folder")
        window = h.wait_for_window(program=self.launcher)
        self.assertIsNotNone(window)
        time.sleep(2)
        self.assertTrue(self.launcher.running())
        # The server answers unit tests beside this one too: a run starts with the manifest.
        self.assertEqual(manifest_requests(before), [], "a run started from %s" % what)
        shot = h.Screenshot("stored-folder-prompt")
        x, y, _, _ = h.window_geometry(window)
        # The prompt's orange "Tiếp tục" button is there.
        self.assertTrue(h.close_enough(shot.pixel(x + 485, y + 290), (241, 152, 70), 20),
                        "no install prompt for %s" % what)
        return window

    def test_a_stored_folder_that_is_no_plain_folder_counts_as_none(self):
        h.publish_release({"a.txt": b"a"})
        for value in ("\\\\server\\share\\Brindle", "Games\\Brindle", 'C:\\"Brindle"', "C:\\Games\\..\\Windows",
                      "\\\\?\\C:\\Brindle"):
            with self.subTest(value=value):
                h.store_install_folder_exactly(value)
                self.expect_prompt(repr(value))
                self.launcher.kill()
        # A plain folder starts the run as before.
        h.store_install_folder("C:\\Brindle")
        self.launcher = h.start_launcher(name="stored-folder-good")
        self.assertTrue(h.wait_for(lambda: os.path.exists(h.drive_c("Brindle", "a.txt")), 60))
        h.end_after_run(self.launcher)

    def test_the_users_setting_alone_only_fills_the_prompt(self):
        """Any program of the user can write "brindle_path"; only the uninstall
        entry, which administrators write, makes it a start's folder."""
        h.publish_release({"a.txt": b"a"})
        h.wine_quiet("reg", "add", h.SETTINGS_KEY, "/v", "brindle_path", "/t", "REG_SZ", "/d", "C:\\Brindle", "/f")
        h.wine_quiet("reg", "add", h.UNINSTALL_KEY, "/v", "InstallLocation", "/t", "REG_SZ", "/d", "C:\\Other", "/f")
        window = self.expect_prompt("the user's setting alone")
        before = len(h.requests_seen())
        click(window, *CONTINUE_BUTTON)
        self.assertTrue(h.wait_for(lambda: os.path.exists(h.drive_c("Brindle", "a.txt")), 60),
                        "the prompt was not filled with the stored folder")
        self.assertEqual(len(manifest_requests(before)), 1)
        self.assertEqual(h.registry_value(h.UNINSTALL_KEY, "InstallLocation"), "C:\\Brindle")
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
        downloads = os.path.join(self.folder, h.DOWNLOAD_FOLDER)
        elsewhere = tempfile.mkdtemp(prefix="brindle-elsewhere-")
        self.addCleanup(shutil.rmtree, elsewhere, True)
        os.symlink(elsewhere, downloads)
        h.publish_release({"a.txt": b"a" * 5000})
        launcher = self.start("linked-downloads")
        window = h.wait_for_window(program=launcher)
        self.assertIsNotNone(window)
        self.assertTrue(h.wait_for(lambda: any("/manifest.json" in line for line in h.requests_seen()), 30))
        time.sleep(2)
        self.assertEqual(os.listdir(elsewhere), [], "a download went through the link")
        self.assertFalse(os.path.exists(os.path.join(self.folder, "a.txt")))
        h.end_after_run(launcher)


class RootLinks(Unregistered):
    """An install folder that is a link, or lies under one: the run stops
    before it reads or writes anything there."""

    def setUp(self):
        super().setUp()
        self.parent = h.empty_folder("E2E Liên kết")
        self.elsewhere = tempfile.mkdtemp(prefix="brindle-elsewhere-")
        self.folders = [self.parent, self.elsewhere]

    def test_a_linked_install_folder_or_parent_is_refused(self):
        h.publish_release({"a.txt": b"a"})
        os.makedirs(os.path.join(self.elsewhere, "Brindle"))
        cases = (("the folder", os.path.join(self.parent, "Brindle"), "C:\\E2E Liên kết\\Brindle"),
                 ("its parent", os.path.join(self.parent, "Trò chơi"), "C:\\E2E Liên kết\\Trò chơi\\Brindle"))
        for what, link, folder in cases:
            with self.subTest(link=what):
                target = self.elsewhere if what == "its parent" else os.path.join(self.elsewhere, "Brindle")
                os.symlink(target, link)
                h.store_install_folder(folder)
                before = len(h.requests_seen())
                self.launcher = h.start_launcher(name="root-link")
                self.assertIsNotNone(h.wait_for_window(program=self.launcher))
                time.sleep(3)
                self.assertEqual(manifest_requests(before), [], "a run went on through %s" % what)
                self.assertEqual(os.listdir(os.path.join(self.elsewhere, "Brindle")), [],
                                 "something was written through the link")
                self.launcher.kill()
                os.remove(link)


if __name__ == "__main__":
    unittest.main()
