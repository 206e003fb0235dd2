"""brindle-publish from the command line: the manifest checked against
Python's own SHA-256 and URL quoting, refusals and their exit codes, and the
Windows build (run under Wine) writing the very same manifest."""
import hashlib
import json
import os
import shutil
import subprocess
import tempfile
import time
import unittest
import urllib.parse

NATIVE = os.environ.get("BRINDLE_PUBLISH", os.path.join("..", "..", "build", "native", "brindle-publish"))
WINDOWS = os.environ.get("BRINDLE_PUBLISH_EXE", os.path.join("..", "..", "build", "brindle-publish.exe"))
BASE = "http://127.0.0.1:18743/files/"


def publish(*args, program=None):
    command = ["wine", program] if program else [NATIVE]
    # Wine's helpers inherit pipes: its output goes to files.
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        code = subprocess.run(command + list(args), stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                              timeout=240).returncode
        out.seek(0)
        err.seek(0)
        return code, out.read().decode("utf-8", "replace"), err.read().decode("utf-8", "replace")


class Release:
    def __init__(self):
        self.root = tempfile.mkdtemp(prefix="brindle-publish-cli-")
        self.folder = os.path.join(self.root, "release")
        self.manifest = os.path.join(self.root, "manifest.json")
        os.makedirs(self.folder)
        self.files = {}

    def add(self, path, content):
        target = os.path.join(self.folder, *path.split("/"))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as f:
            f.write(content)
        self.files[path] = content

    def remove(self):
        shutil.rmtree(self.root, ignore_errors=True)


class PublishCommandLine(unittest.TestCase):
    def setUp(self):
        self.release = Release()
        self.addCleanup(self.release.remove)

    def add_sample(self):
        self.release.add("Bản đồ/khu vực 1.dat", os.urandom(3 * 1024 * 1024 + 17))
        self.release.add("dữ liệu/âm thanh/nhạc nền #1.ogg", os.urandom(70000))
        self.release.add("client/ragemp_v.exe", b"MZ" + os.urandom(5000))
        self.release.add("a+b&c=d.txt", b"")
        self.release.add("readme.txt", b"hello")

    def test_manifest_lists_every_file_with_its_hash_size_and_quoted_url(self):
        self.add_sample()
        published = int(time.time())
        code, out, err = publish(self.release.folder, BASE.rstrip("/"), "-o", self.release.manifest,
                                 "--delete", "old/cũ.dll", "--delete=legacy\\x.bin")
        self.assertEqual(code, 0, err)
        self.assertIn("5 files", out)
        with open(self.release.manifest, encoding="utf-8") as f:
            manifest = json.load(f)
        # By default a release comes after every one published before it.
        self.assertTrue(published <= manifest["sequence"] <= int(time.time()), manifest["sequence"])
        self.assertIn("sequence %d" % manifest["sequence"], out)
        expected = [{"path": path, "sha256": hashlib.sha256(content).hexdigest(), "size": len(content),
                     "url": BASE + urllib.parse.quote(path, safe="/~")}
                    for path, content in sorted(self.release.files.items(), key=lambda item: item[0].encode())]
        self.assertEqual(manifest["files"], expected)
        self.assertEqual(manifest["deletes"], ["old/cũ.dll", "legacy/x.bin"])

    def test_refusals_exit_1_name_the_path_and_write_nothing(self):
        cases = {
            "dots": ["maps/a..b.dat"],
            "character": ["bad?name.txt"],
            "device": ["Aux.ini"],
            "trailing dot": ["folder./a.bin"],
            "letter case": ["Đồ Hoạ/X.dat", "đồ hoạ/x.DAT"],
        }
        for label, names in cases.items():
            with self.subTest(label):
                release = Release()
                self.addCleanup(release.remove)
                release.add("fine.bin", b"ok")
                for name in names:
                    release.add(name, b"bad")
                with open(release.manifest, "w") as f:
                    f.write("previous")
                code, out, err = publish(release.folder, BASE, "--output", release.manifest)
                self.assertEqual(code, 1, err)
                self.assertIn(names[-1], err)
                with open(release.manifest) as f:
                    self.assertEqual(f.read(), "previous")
                self.assertEqual(sorted(os.listdir(release.root)), ["manifest.json", "release"])

    def test_usage_help_and_quiet_pipes(self):
        code, out, _ = publish("--help")
        self.assertEqual(code, 0)
        self.assertIn("Usage: brindle-publish", out)
        self.assertIn("--delete PATH", out)
        self.assertEqual(publish(self.release.folder)[0], 2)
        self.assertEqual(publish("--jobs", "0", self.release.folder, BASE)[0], 2)
        self.assertEqual(publish("--frobnicate", self.release.folder, BASE)[0], 2)
        for sequence in ("-1", "18446744073709551616", "12a", ""):
            self.assertEqual(publish("--sequence", sequence, self.release.folder, BASE)[0], 2, sequence)
        # Not a terminal: no progress line, only the summary.
        self.release.add("x.bin", os.urandom(1000))
        code, out, err = publish(self.release.folder, BASE, "-o", self.release.manifest)
        self.assertEqual(code, 0, err)
        self.assertEqual(err, "")
        self.assertNotIn("\r", out)

    def test_windows_build_writes_the_same_manifest(self):
        self.add_sample()
        largest = "18446744073709551615"
        code, _, err = publish(self.release.folder, BASE, "-o", self.release.manifest, "--delete", "old.dll",
                               "--sequence", largest)
        self.assertEqual(code, 0, err)
        windows_manifest = os.path.join(self.release.root, "windows.json")
        code, out, err = publish("Z:" + self.release.folder.replace("/", "\\"), BASE,
                                 "-o", "Z:" + windows_manifest.replace("/", "\\"), "--delete", "old.dll",
                                 "--sequence=" + largest, program=WINDOWS)
        self.assertEqual(code, 0, out + err)
        with open(self.release.manifest, "rb") as native, open(windows_manifest, "rb") as windows:
            self.assertEqual(windows.read(), native.read())
        with open(self.release.manifest, encoding="utf-8") as f:
            self.assertEqual(json.load(f)["sequence"], int(largest))
        # And it refuses the same way.
        self.release.add("maps/a..b.dat", b"dots")
        code, _, _ = publish("Z:" + self.release.folder.replace("/", "\\"), BASE,
                             "-o", "Z:" + windows_manifest.replace("/", "\\"), program=WINDOWS)
        self.assertEqual(code, 1)


KEYS = os.environ.get("BRINDLE_TEST_KEYS_DIR", os.path.join("..", "..", "build", "test-keys"))


def windows(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def openssl_accepts(public_key, manifest):
    """openssl's own check of MANIFEST.sig (raw r and s, base64) against the key."""
    with open(manifest + ".sig") as f:
        raw = __import__("base64").b64decode(f.read().rstrip("\n"), validate=True)
    der = der_signature(raw[:32], raw[32:])
    with tempfile.NamedTemporaryFile(suffix=".der") as sig:
        sig.write(der)
        sig.flush()
        return subprocess.run(["openssl", "dgst", "-sha256", "-verify", public_key, "-signature", sig.name, manifest],
                              capture_output=True).returncode == 0


def der_signature(r, s):
    def integer(value):
        value = value.lstrip(b"\0") or b"\0"
        if value[0] & 0x80:
            value = b"\0" + value
        return b"\x02" + bytes([len(value)]) + value
    body = integer(r) + integer(s)
    return b"\x30" + bytes([len(body)]) + body


class Signing(unittest.TestCase):
    def setUp(self):
        self.release = Release()
        self.addCleanup(self.release.remove)
        self.release.add("dữ liệu/bản đồ.dat", os.urandom(20000))
        self.key = os.path.join(KEYS, "manifest.key")
        self.public = os.path.join(KEYS, "manifest.pub")

    def test_both_builds_sign_what_openssl_and_the_tool_then_verify(self):
        for key in ("manifest.key", "other.key"):  # "openssl ecparam -genkey", "openssl genpkey"
            public = os.path.join(KEYS, key.replace(".key", ".pub"))
            with self.subTest(build="native", key=key):
                code, out, err = publish(self.release.folder, BASE, "-o", self.release.manifest,
                                         "--sign", os.path.join(KEYS, key))
                self.assertEqual(code, 0, err)
                self.assertIn("manifest.json.sig: its signature", out)
                self.assertTrue(openssl_accepts(public, self.release.manifest))
            with self.subTest(build="windows", key=key):
                code, out, err = publish(windows(self.release.folder), BASE, "-o", windows(self.release.manifest),
                                         "--sign", windows(os.path.join(KEYS, key)), program=WINDOWS)
                self.assertEqual(code, 0, out + err)
                self.assertTrue(openssl_accepts(public, self.release.manifest))
                code, out, err = publish("--verify", public, self.release.manifest)
                self.assertEqual(code, 0, err)
                self.assertIn("signed with this key", out)

    def test_verify_names_what_is_wrong(self):
        code, _, err = publish(self.release.folder, BASE, "-o", self.release.manifest, "--sign", self.key,
                               "--sequence", "42")
        self.assertEqual(code, 0, err)
        for program, arguments in ((None, (self.public, self.release.manifest)),
                                   (WINDOWS, (windows(self.public), windows(self.release.manifest)))):
            code, out, err = publish("--verify", *arguments, program=program)
            self.assertEqual(code, 0, out + err)
            self.assertIn("sequence 42;", out)
        with open(self.release.manifest, "ab") as f:
            f.write(b" ")
        for program, arguments in ((None, (self.public, self.release.manifest)),
                                   (WINDOWS, (windows(self.public), windows(self.release.manifest)))):
            code, out, err = publish("--verify", *arguments, program=program)
            self.assertEqual(code, 1)
            self.assertIn("changed after signing", err)
        os.remove(self.release.manifest + ".sig")
        code, _, err = publish("--verify", self.public, self.release.manifest)
        self.assertEqual(code, 1)
        self.assertIn("missing", err)
        self.assertEqual(publish("--verify", self.public)[0], 2)

    def test_a_key_that_cannot_sign_writes_nothing(self):
        for key in ("encrypted.key", "p384.key", "manifest.pub"):
            with self.subTest(key=key):
                code, _, err = publish(self.release.folder, BASE, "-o", self.release.manifest,
                                       "--sign", os.path.join(KEYS, key))
                self.assertEqual(code, 1)
                self.assertIn(key, err)
                self.assertFalse(os.path.exists(self.release.manifest))
                self.assertFalse(os.path.exists(self.release.manifest + ".sig"))


if __name__ == "__main__":
    unittest.main()
