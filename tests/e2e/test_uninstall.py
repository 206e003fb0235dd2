"""uninstall.exe from its place in an install folder that the real launcher
made: it removes what the launcher made and nothing of the player's, leaves
other installs' shortcut and settings, ignores a state file that points out
of the folder, reports a locked file, and runs a second time harmlessly."""
import os
import shutil
import subprocess
import time
import unittest

import brindle_harness as h

HOLD_FILE = os.path.join(h.BUILD_DIR, "brindle_hold_file.exe")


def built(name):
    with open(os.path.join(h.BUILD_DIR, name), "rb") as f:
        return f.read()


def shortcuts():
    return [os.path.join(d, "Brindle.lnk") for d in h.desktop_folders()
            if os.path.exists(os.path.join(d, "Brindle.lnk"))]


class Uninstall(h.InstalledTestCase):
    FOLDER = "E2E Gỡ cài đặt"

    def release(self):
        return {"uninstall.exe": built("uninstall.exe"), "updater.exe": built("updater.exe"),
                "dữ liệu/bản đồ/khu 1.map": os.urandom(5000), "dữ liệu/âm thanh/nhạc.ogg": os.urandom(3000),
                "readme.txt": b"xin chao"}

    def install(self, folder_name=None, release=None):
        release = release or self.release()
        h.publish_release(release)
        if folder_name:
            h.store_install_folder("C:\\" + folder_name)
        launcher = self.start("install-" + (folder_name or self.FOLDER))
        self.assertEqual(h.end_after_run(launcher), 0)
        subprocess.run(["pkill", "-f", "--", "--watch-title"], check=False)
        return release

    def uninstall(self, *args, folder=None, name="uninstall"):
        exe = "C:\\%s\\uninstall.exe" % (folder or self.FOLDER)
        program = h.Program(exe, args, name)
        return program.wait(120)

    def path(self, *parts):
        return os.path.join(self.folder, *parts)

    def test_removes_what_the_launcher_made_and_keeps_the_players_files(self):
        release = self.install()
        self.assertTrue(shortcuts(), "the launcher made no shortcut")
        self.assertTrue(os.path.isdir(self.path(h.DOWNLOAD_FOLDER)), "the launcher made no download folder")
        self.assertEqual(h.registry_value(h.UNINSTALL_KEY, "InstallLocation"), "C:\\" + self.FOLDER)
        with open(self.path("dữ liệu", "ảnh chụp của tôi.png"), "wb") as f:
            f.write(b"the player's own")
        os.makedirs(self.path("client_resources", "cache"))
        with open(self.path("client_resources", "cache", "x.bin"), "wb") as f:
            f.write(b"the client's cache")
        h.wine_quiet("reg", "add", h.SETTINGS_KEY, "/v", "lang", "/t", "REG_SZ", "/d", "en", "/f")
        # What a signed launcher keeps there: the highest manifest sequence it took.
        h.wine_quiet("reg", "add", h.UNINSTALL_KEY, "/v", "ManifestSequence", "/t", "REG_QWORD", "/d", "300", "/f")
        # What a launcher that handed over to a new one may leave while something still ran it.
        with open(self.path("brindle.exe.old"), "wb") as f:
            f.write(b"MZ the launcher before")

        self.assertEqual(self.uninstall("/quiet"), 0)
        for path in release:
            if path != "uninstall.exe":
                self.assertFalse(os.path.exists(self.path(*path.split("/"))), path)
        for gone in ("brindle.state", "brindle.exe", "brindle.exe.old", os.path.join("dữ liệu", "âm thanh")):
            self.assertFalse(os.path.exists(self.path(gone)), gone)
        self.assertTrue(h.wait_for(lambda: not os.path.exists(self.path("uninstall.exe")), 20),
                        "the uninstaller is still there")
        with open(self.path("dữ liệu", "ảnh chụp của tôi.png"), "rb") as f:
            self.assertEqual(f.read(), b"the player's own")
        with open(self.path("client_resources", "cache", "x.bin"), "rb") as f:
            self.assertEqual(f.read(), b"the client's cache")
        self.assertFalse(os.path.exists(self.path(h.DOWNLOAD_FOLDER)))
        self.assertEqual(shortcuts(), [])
        self.assertIsNone(h.registry_value(h.SETTINGS_KEY, "brindle_path"))
        self.assertIsNone(h.registry_value(h.SETTINGS_KEY, "rage_path"))
        self.assertEqual(h.registry_value(h.SETTINGS_KEY, "lang"), "en")
        self.assertNotEqual(h.wine_quiet("reg", "query", h.UNINSTALL_KEY).returncode, 0, "the uninstall entry stayed")

        # The second run, from a copy in what is left of the folder: nothing to do.
        shutil.copy(os.path.join(h.BUILD_DIR, "uninstall.exe"), self.path("uninstall.exe"))
        self.assertEqual(self.uninstall("/quiet", name="uninstall-again"), 0)
        self.assertTrue(os.path.exists(self.path("dữ liệu", "ảnh chụp của tôi.png")))

    def test_an_emptied_folder_goes_too_and_other_installs_stay(self):
        other = h.empty_folder("E2E Cài đặt khác")
        self.addCleanup(shutil.rmtree, other, True)
        # Without the client's start program: nothing is started that leaves files behind.
        release = {path: data for path, data in self.release().items() if path != "updater.exe"}
        self.install(folder_name="E2E Cài đặt khác", release=release)  # its shortcut, settings, entry
        self.install(folder_name=self.FOLDER, release=release)          # keeps the other's shortcut
        for name in ("brindle_path", "rage_path"):
            h.wine_quiet("reg", "add", h.SETTINGS_KEY, "/v", name, "/t", "REG_SZ", "/d", "C:\\E2E Cài đặt khác", "/f")
        shortcut = shortcuts()
        self.assertTrue(shortcut)

        self.assertEqual(self.uninstall("/quiet"), 0)
        self.assertEqual(shortcuts(), shortcut, "the other install's shortcut went")
        self.assertEqual(h.registry_value(h.SETTINGS_KEY, "brindle_path"), "C:\\E2E Cài đặt khác")
        self.assertEqual(h.registry_value(h.SETTINGS_KEY, "rage_path"), "C:\\E2E Cài đặt khác")
        self.assertIsNone(h.registry_value(h.UNINSTALL_KEY, "InstallLocation"))
        self.assertTrue(h.wait_for(lambda: not os.path.exists(self.folder), 20), "the emptied folder stayed")
        self.assertTrue(os.path.exists(os.path.join(other, "readme.txt")))

    def test_a_recorded_path_out_of_the_folder_is_ignored(self):
        self.install()
        outside = h.drive_c("E2E ngoài.txt")
        with open(outside, "wb") as f:
            f.write(b"not the launcher's")
        self.addCleanup(lambda: os.path.exists(outside) and os.remove(outside))
        with open(self.path("brindle.state"), "a", encoding="utf-8") as f:
            f.write("%s 18 0 ../E2E ngoài.txt\n" % ("0" * 64))
            f.write("%s 18 0 C:/E2E ngoài.txt\n" % ("0" * 64))
        self.assertEqual(self.uninstall("/quiet"), 0)
        with open(outside, "rb") as f:
            self.assertEqual(f.read(), b"not the launcher's")

    def test_a_locked_file_is_reported_and_the_rest_goes(self):
        self.install(release={path: data for path, data in self.release().items() if path != "updater.exe"})
        held = "C:\\%s\\readme.txt" % self.FOLDER
        marker = h.artefact_path("held.marker")
        if os.path.exists(marker):
            os.remove(marker)
        holder = h.Program(HOLD_FILE, [held, "Z:" + marker.replace("/", "\\")], "hold-readme")
        self.addCleanup(holder.kill)
        self.assertTrue(h.wait_for(lambda: os.path.exists(marker), 20))
        self.assertEqual(self.uninstall("/quiet"), 1)
        self.assertTrue(os.path.exists(self.path("readme.txt")))
        self.assertFalse(os.path.exists(self.path("brindle.exe")))
        self.assertFalse(os.path.exists(self.path("dữ liệu")))
        # The state file now records what is left, for the next run.
        with open(self.path("brindle.state"), encoding="utf-8") as f:
            self.assertEqual([line.split(" ", 3)[3] for line in f.read().splitlines()], ["readme.txt"])
        holder.kill()
        # The first run's copy deletes uninstall.exe once that run has ended: a
        # fresh one goes in only after that, or the copy may take it instead.
        self.assertTrue(h.wait_for(lambda: not os.path.exists(self.path("uninstall.exe")), 20),
                        "the uninstaller is still there")
        shutil.copy(os.path.join(h.BUILD_DIR, "uninstall.exe"), self.path("uninstall.exe"))
        self.assertEqual(self.uninstall("/quiet", name="uninstall-unlocked"), 0)
        self.assertTrue(h.wait_for(lambda: not os.path.exists(self.folder), 20))

    def test_it_refuses_while_the_launcher_runs_from_the_folder(self):
        self.install()
        h.publish_release(self.release(), routes={"readme.txt": "stall/0/30000/"})
        with open(os.path.join(h.SERVER_DIR, "root", "manifest.json"), "a") as f:
            f.write(" ")  # a different manifest: the launcher hashes and fetches again
        launcher = self.start("running", exe="C:\\%s\\brindle.exe" % self.FOLDER)
        self.assertIsNotNone(h.wait_for_window(program=launcher))
        self.assertEqual(self.uninstall("/quiet"), 1)
        self.assertTrue(os.path.exists(self.path("brindle.state")))
        self.assertTrue(os.path.exists(self.path("readme.txt")))
        self.assertTrue(os.path.exists(self.path("uninstall.exe")))

    def test_without_quiet_it_asks_first_holding_its_own_file(self):
        self.install()
        program = h.Program("C:\\%s\\uninstall.exe" % self.FOLDER, [], "uninstall-asks")
        box = h.wait_for_window("Gỡ cài đặt Brindle", 30)
        self.assertIsNotNone(box, "no question was asked")
        # Its copy that finishes the removal is made from the file it holds:
        # meanwhile nobody can put another program in its place.
        h.wine_quiet("cmd", "/c", "move", "/y", "C:\\%s\\uninstall.exe" % self.FOLDER,
                     "C:\\%s\\moved.exe" % self.FOLDER)
        self.assertTrue(os.path.exists(self.path("uninstall.exe")))
        self.assertFalse(os.path.exists(self.path("moved.exe")), "the running uninstaller's file was moved")
        h.press_keys(box, "n")  # "No"
        self.assertEqual(program.wait(30), 0)
        self.assertTrue(os.path.exists(self.path("brindle.exe")))
        self.assertTrue(os.path.exists(self.path("readme.txt")))


    def test_a_folder_reached_through_a_link_is_refused(self):
        release = self.install()
        link = h.drive_c("E2E Gỡ qua liên kết")
        os.symlink(self.folder, link)
        self.addCleanup(os.remove, link)
        self.assertEqual(self.uninstall("/quiet", folder="E2E Gỡ qua liên kết"), 1)
        for path in release:
            self.assertTrue(os.path.exists(self.path(*path.split("/"))), path)
        self.assertTrue(os.path.exists(self.path("brindle.state")))
        self.assertEqual(h.registry_value(h.UNINSTALL_KEY, "InstallLocation"), "C:\\" + self.FOLDER)


if __name__ == "__main__":
    unittest.main()
