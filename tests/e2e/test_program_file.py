"""brindle.exe is a 64-bit GUI program that needs nothing but Windows' own DLLs."""
import re
import subprocess
import unittest

import brindle_harness as h

# DLLs every Windows 10/11 installation has; anything else (libstdc++, libwinpthread...)
# would make the program fail to start on a player's machine.
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "ole32.dll", "oleaut32.dll",
    "msvcrt.dll", "d3d11.dll", "dxgi.dll", "d3dcompiler_47.dll", "dwmapi.dll", "imm32.dll", "winhttp.dll",
    "bcrypt.dll", "shlwapi.dll", "version.dll", "ws2_32.dll", "crypt32.dll", "uuid.dll",
}


class ProgramFile(unittest.TestCase):
    def setUp(self):
        self.headers = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", h.EXE], capture_output=True,
                                      text=True, check=True).stdout

    def test_pe32_plus_gui_for_x64(self):
        self.assertIn("file format pei-x86-64", self.headers)
        self.assertRegex(self.headers, r"Magic\s+020b")
        self.assertRegex(self.headers, r"Subsystem\s+00000002\s+\(Windows GUI\)")

    def test_imports_only_system_dlls(self):
        imported = {name.lower() for name in re.findall(r"DLL Name: (\S+)", self.headers)}
        self.assertTrue(imported, "no import table found")
        self.assertEqual(imported - SYSTEM_DLLS, set())


if __name__ == "__main__":
    unittest.main()
