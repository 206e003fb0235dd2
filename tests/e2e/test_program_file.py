"""brindle.exe is a 64-bit GUI program that needs nothing but Windows' own DLLs,
and loads at start only the KnownDLLs, which Windows always takes from System32.
The others are delay-loaded after SetDefaultDllDirectories(System32)."""
import os
import re
import subprocess
import unittest

import brindle_harness as h

# Windows' KnownDLLs that the programs may import directly.
KNOWN_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "ole32.dll", "oleaut32.dll",
    "msvcrt.dll", "imm32.dll", "shlwapi.dll", "ws2_32.dll", "combase.dll", "rpcrt4.dll", "sechost.dll",
}
# Delay-loaded, from System32 only.
DELAY_LOADED = {"bcrypt.dll", "d3d11.dll", "d3dcompiler_47.dll", "dwmapi.dll", "winhttp.dll", "dxgi.dll"}
PUBLISH_EXE = os.path.join(h.BUILD_DIR, "brindle-publish.exe")
UNINSTALL_EXE = os.path.join(h.BUILD_DIR, "uninstall.exe")


def imported(exe):
    headers = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", exe], capture_output=True, text=True,
                             check=True).stdout
    return {name.lower() for name in re.findall(r"DLL Name: (\S+)", headers)}


def dll_names_in(exe):
    with open(exe, "rb") as f:
        data = f.read().lower()
    return {name for name in DELAY_LOADED if name.encode() in data}


class ProgramFile(unittest.TestCase):
    def setUp(self):
        self.headers = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", h.EXE], capture_output=True,
                                      text=True, check=True).stdout

    def test_pe32_plus_gui_for_x64(self):
        self.assertIn("file format pei-x86-64", self.headers)
        self.assertRegex(self.headers, r"Magic\s+020b")
        self.assertRegex(self.headers, r"Subsystem\s+00000002\s+\(Windows GUI\)")

    def test_imports_only_known_dlls(self):
        for exe in (h.EXE, PUBLISH_EXE, UNINSTALL_EXE):
            with self.subTest(exe=os.path.basename(exe)):
                names = imported(exe)
                self.assertTrue(names, "no import table found")
                self.assertEqual(names - KNOWN_DLLS, set())

    def test_the_other_dlls_are_there_to_be_delay_loaded(self):
        # The check above would also pass on a program that lost them.
        self.assertEqual(dll_names_in(h.EXE), DELAY_LOADED - {"dxgi.dll"})


if __name__ == "__main__":
    unittest.main()
