"""The built-in manifest address: hidden in the programs, https-only in releases,
plain http only for this machine in any build.

The address is stored scrambled (each UTF-16 unit XORed with a mask that an
integer hash derives from the unit's position, common/scrambled.h), so neither
`strings` nor a plain byte search finds it in the executables. The scrambled
units themselves must be there, or the scan would pass on a program that
simply lacks the address.
"""
import os
import re
import shutil
import subprocess
import tempfile
import unittest

BUILD_DIR = os.environ.get("BRINDLE_BUILD_DIR", os.path.join(os.path.dirname(__file__), "..", "..", "build"))
SOURCE_DIR = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
# br::manifestUrl(), whatever ABI tag the library gives its std::wstring result.
MANIFEST_URL_SYMBOL = re.compile(r" T _ZN2br11manifestUrl(B[0-9]+\w+)?Ev$", re.M)


def configured_url():
    with open(os.path.join(BUILD_DIR, "CMakeCache.txt"), encoding="utf-8") as cache:
        for line in cache:
            if line.startswith("BRINDLE_MANIFEST_URL:"):
                return line.split("=", 1)[1].rstrip("\n")
    raise AssertionError("BRINDLE_MANIFEST_URL is not in the build's CMake cache")


def scramble_mask(position):
    x = (position * 0x9E3779B1 + 0x7F4A7C15) & 0xFFFFFFFF
    x ^= x >> 16
    x = (x * 0x85EBCA6B) & 0xFFFFFFFF
    x ^= x >> 13
    x = (x * 0xC2B2AE35) & 0xFFFFFFFF
    x ^= x >> 16
    return x & 0xFFFF


def scrambled_units(text):
    plain = text.encode("utf-16-le")
    out = bytearray()
    for i in range(len(plain) // 2):
        unit = int.from_bytes(plain[2 * i:2 * i + 2], "little") ^ scramble_mask(i)
        out += unit.to_bytes(2, "little")
    return bytes(out)


def tool(name):
    found = shutil.which(name) or shutil.which("x86_64-w64-mingw32-" + name)
    if not found:
        raise AssertionError("neither %s nor its MinGW variant is installed" % name)
    return found


def readable_texts(exe, *options):
    result = subprocess.run([tool("strings"), "-a", *options, exe], capture_output=True, check=True)
    return result.stdout.decode("utf-8", "replace")


def links_manifest_url(exe):
    result = subprocess.run([tool("nm"), exe], capture_output=True, text=True)
    if result.returncode != 0 or not result.stdout.strip():
        raise AssertionError("%s has no symbol table to tell whether it uses the manifest address" % exe)
    return MANIFEST_URL_SYMBOL.search(result.stdout) is not None


class AddressIsHidden(unittest.TestCase):
    def setUp(self):
        self.url = configured_url()
        self.assertTrue(self.url.startswith("http"), self.url)

    def check(self, exe):
        with open(exe, "rb") as f:
            data = f.read()
        self.assertIn(scrambled_units(self.url), data, "the scrambled address is missing from %s" % exe)
        self.assertNotIn(self.url, readable_texts(exe), "strings finds the address in %s" % exe)
        self.assertNotIn(self.url, readable_texts(exe, "-el"), "strings -el finds the address in %s" % exe)
        self.assertNotIn(self.url.encode("utf-8"), data)
        self.assertNotIn(self.url.encode("utf-16-le"), data)

    def test_test_program(self):
        self.check(os.path.join(BUILD_DIR, "brindle_tests.exe"))

    def test_launcher(self):
        exe = os.environ.get("BRINDLE_EXE", os.path.join(BUILD_DIR, "brindle.exe"))
        if not links_manifest_url(exe):
            # Until the update run asks for the address, the linker leaves it out.
            with open(exe, "rb") as f:
                self.assertNotIn(self.url.encode("utf-16-le"), f.read())
            self.skipTest("brindle.exe does not use manifestUrl yet")
        self.check(exe)


def configure(build_type, *options):
    """Configures a throwaway build; nothing is compiled. The result and the
    generated address header, or None when none was written."""
    with tempfile.TemporaryDirectory(prefix="brindle-configure-") as build:
        result = subprocess.run(
            ["cmake", "-S", SOURCE_DIR, "-B", build,
             "-DCMAKE_TOOLCHAIN_FILE=%s/cmake/mingw-w64-x86_64.cmake" % SOURCE_DIR,
             "-DCMAKE_BUILD_TYPE=%s" % build_type, "-DBRINDLE_TESTS=OFF", *options],
            capture_output=True, text=True)
        header = os.path.join(build, "generated", "manifest_url.h")
        generated = None
        if os.path.exists(header):
            with open(header) as f:
                generated = f.read()
    return result, generated


class PlainHttpOnlyForThisMachine(unittest.TestCase):
    """In every build type, http:// names loopback or the configuration stops."""

    def test_other_hosts_stop_the_configuration(self):
        for build_type in ("RelWithDebInfo", "Debug", ""):
            for url in ("http://updates.example.org/manifest.json", "http://10.0.0.5:18743/manifest.json",
                        "http://127.0.0.1@updates.example.org/manifest.json", "http://localhost.example.org/m",
                        "http://127.0.0.1.example.org/m", "http://[::2]/m", "http://128.0.0.1/m"):
                with self.subTest(build_type=build_type, url=url):
                    result, generated = configure(build_type, "-DBRINDLE_MANIFEST_URL=" + url)
                    self.assertNotEqual(result.returncode, 0)
                    self.assertIn("must name this machine", " ".join(result.stderr.split()))
                    self.assertIsNone(generated)

    def test_loopback_addresses_are_built_in(self):
        for url in ("http://127.0.0.1:18743/manifest.json", "http://127.5.6.7/m.json", "http://localhost/m",
                    "http://localhost:80/x/y", "http://[::1]:8080/manifest.json"):
            with self.subTest(url=url):
                result, generated = configure("RelWithDebInfo", "-DBRINDLE_MANIFEST_URL=" + url)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertIn('L"%s"' % url, generated)


class ReleaseNeedsHttps(unittest.TestCase):
    """Configures a throwaway Release build; nothing is compiled."""

    def configure(self, *options):
        return configure("Release", *options)

    def test_plain_http_stops_the_configuration(self):
        result, generated = self.configure()
        self.assertNotEqual(result.returncode, 0)
        # CMake re-wraps the message's lines.
        self.assertIn("must fetch its manifest over https", " ".join(result.stderr.split()))
        self.assertIsNone(generated)

    def test_https_address_is_built_in(self):
        key = os.path.join(os.environ["BRINDLE_TEST_KEYS_DIR"], "manifest.pub")
        result, generated = self.configure("-DBRINDLE_MANIFEST_URL=https://updates.example.org/brindle/manifest.json",
                                           "-DBRINDLE_MANIFEST_PUBLIC_KEY=" + key)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn('L"https://updates.example.org/brindle/manifest.json"', generated)
        self.assertNotIn("BRINDLE_UNSIGNED_RELEASE", result.stderr)

    def test_without_a_key_only_when_the_builder_says_so(self):
        for build_type in ("Release", "MinSizeRel"):
            with self.subTest(build_type=build_type):
                url = "-DBRINDLE_MANIFEST_URL=https://updates.example.org/m.json"
                result, generated = configure(build_type, url)
                self.assertNotEqual(result.returncode, 0)
                self.assertIn("set BRINDLE_MANIFEST_PUBLIC_KEY", " ".join(result.stderr.split()))
                self.assertIsNone(generated)
                result, generated = configure(build_type, url, "-DBRINDLE_UNSIGNED_RELEASE=ON")
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertIn("runs whatever its server says", " ".join(result.stderr.split()))


if __name__ == "__main__":
    unittest.main()
