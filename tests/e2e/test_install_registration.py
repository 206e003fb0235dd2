"""Registration started from the installed copy itself, seen from the file system.

The program that registers is a copy of the unit-test program: started with
BRINDLE_TEST_REGISTER_INTO set, it registers that folder exactly as the update
worker does and exits.

Windows sees one file in any letter case, so a launcher running as BRINDLE.EXE
is the installed copy "brindle.exe". Underneath Wine the names are Unix names
and case-sensitive, so a second file "brindle.exe" can stand next to the running
BRINDLE.EXE: Wine opens it for the name "brindle.exe", which makes a needless
copy of the launcher onto itself visible.
"""
import os
import shutil
import subprocess
import tempfile
import unittest

import brindle_harness as h

TESTS_EXE = os.path.join(h.BUILD_DIR, "brindle_tests.exe")

def run_reg(args, name):
    """Runs Wine's reg tool; its output goes through a file, never a pipe."""
    log = h.artefact_path(name + ".log")
    with open(log, "wb") as out:
        code = subprocess.run(["wine", "reg", *args], stdin=subprocess.DEVNULL, stdout=out,
                              stderr=subprocess.STDOUT, timeout=120).returncode
    with open(log, "rb") as written:
        return code, written.read().decode("utf-8", "replace")


def stored_setting(name):
    _, out = run_reg(["query", h.SETTINGS_KEY, "/v", name], "reg-query")
    for line in out.splitlines():
        fields = line.split(None, 2)
        if len(fields) == 3 and fields[0] == name and fields[1] == "REG_SZ":
            return fields[2].strip()
    return None


def register_from(exe, folder):
    program = h.Program(exe, ["--gtest_filter=RegistrationOnMachine.*"], name="register-from-copy",
                        env={"BRINDLE_TEST_REGISTER_INTO": folder})
    try:
        return program.wait(120)
    finally:
        program.kill()


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


class RegistrationFromInstalledCopy(unittest.TestCase):
    def setUp(self):
        self.clear_registry()
        self.folder = tempfile.mkdtemp(prefix="installed-", dir=h.BUILD_DIR)
        self.running = os.path.join(self.folder, "BRINDLE.EXE")
        shutil.copy(TESTS_EXE, self.running)
        self.twin = os.path.join(self.folder, "brindle.exe")
        with open(self.twin, "wb") as f:
            f.write(b"twin")

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)
        self.clear_registry()

    def clear_registry(self):
        # Launchers started later on this prefix must find no stored folder.
        run_reg(["delete", h.SETTINGS_KEY, "/f"], "reg-delete")
        run_reg(["delete", h.UNINSTALL_KEY, "/f"], "reg-delete")

    def test_installed_copy_in_other_letter_case_copies_nothing(self):
        folder = h.windows_path(self.folder).upper()
        self.assertEqual(register_from(self.running, folder), 0)
        self.assertEqual(stored_setting("brindle_path"), folder, "the installed copy did not register")
        self.assertEqual(read_bytes(self.twin), b"twin")
        self.assertEqual(read_bytes(self.running), read_bytes(TESTS_EXE))

        # The same folder registered from elsewhere does land a copy on "brindle.exe".
        self.assertEqual(register_from(TESTS_EXE, folder), 0)
        self.assertEqual(read_bytes(self.twin), read_bytes(TESTS_EXE))


if __name__ == "__main__":
    unittest.main()
