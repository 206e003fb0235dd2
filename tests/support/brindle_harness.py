"""Drives the real brindle.exe under Wine on the test run's X display.

The test script (scripts/test.sh) has already set DISPLAY, WINEPREFIX and a
running wineserver; this module starts programs, finds their windows and reads
screen pixels, reaches the prefix's registry and drive C:, the loopback update
server, and the stand-ins for the client's programs. Wine's children keep
inherited pipes open, so program output always goes to files, never to pipes.
"""
import os
import shutil
import subprocess
import tempfile
import time
import unittest

BUILD_DIR = os.environ.get("BRINDLE_BUILD_DIR", os.path.join(os.path.dirname(__file__), "..", "..", "build"))
EXE = os.environ.get("BRINDLE_EXE", os.path.join(BUILD_DIR, "brindle.exe"))
ARTEFACTS = os.path.join(BUILD_DIR, "test-artefacts")
WINDOW_TITLE = "BRINDLE Updater"


def artefact_path(name):
    os.makedirs(ARTEFACTS, exist_ok=True)
    return os.path.join(ARTEFACTS, name)


class Program:
    """One Windows program started with wine; output lands in a log file."""

    def __init__(self, exe, args=(), name="program", env=None):
        self.log_path = artefact_path(name + ".log")
        self.log = open(self.log_path, "wb")
        full_env = dict(os.environ)
        full_env.update(env or {})
        self.process = subprocess.Popen(["wine", exe, *args], stdin=subprocess.DEVNULL,
                                        stdout=self.log, stderr=subprocess.STDOUT, env=full_env)

    def wait(self, timeout):
        try:
            return self.process.wait(timeout=timeout)
        finally:
            if self.process.poll() is not None:
                self.log.close()

    def running(self):
        return self.process.poll() is None

    def kill(self):
        if self.running():
            self.process.kill()
            self.process.wait(timeout=30)
        self.log.close()


def kill_stray_launchers():
    """Ends every launcher still running: one started by a path inside the
    prefix (C:\\...) runs in a process of its own that killing "wine" leaves
    behind, and a launcher left running holds the one-launcher lock."""
    subprocess.run(["pkill", "-9", "-f", r"brindle\.exe"], check=False)


def start_launcher(args=(), exe=EXE, name="launcher", env=None):
    return Program(exe, args, name, env)


def end_after_run(launcher):
    """After a finished update run the launcher starts the game and ends by
    itself, or waits on its window: closes the window then. Its exit code."""
    if not wait_for(lambda: not launcher.running(), 5):
        window = wait_for_window(program=launcher, timeout=5)
        if window:
            press_keys(window, "alt+F4")
    return launcher.wait(30)


def find_windows(title):
    result = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % title],
                            capture_output=True, text=True)
    return [line for line in result.stdout.split() if line]


def wait_for_window(title=WINDOW_TITLE, timeout=30.0, program=None):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = find_windows(title)
        if found:
            return found[0]
        if program is not None and not program.running():
            return None
        time.sleep(0.1)
    return None


def window_geometry(window):
    """(x, y, width, height) of an X window, from xwininfo."""
    out = subprocess.run(["xwininfo", "-id", window], capture_output=True, text=True, check=True).stdout
    fields = {}
    for line in out.splitlines():
        line = line.strip()
        for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"):
            if line.startswith(key + ":"):
                fields[key] = int(line.split(":", 1)[1])
    return (fields["Absolute upper-left X"], fields["Absolute upper-left Y"], fields["Width"], fields["Height"])


class Screenshot:
    """The whole screen as a PNG artefact plus its raw RGB pixels."""

    def __init__(self, name):
        self.path = artefact_path(name + ".png")
        subprocess.run(["import", "-display", os.environ["DISPLAY"], "-window", "root", self.path], check=True)
        size = subprocess.run(["identify", "-format", "%w %h", self.path], capture_output=True, text=True,
                              check=True).stdout.split()
        self.width, self.height = int(size[0]), int(size[1])
        self.rgb = subprocess.run(["convert", self.path, "-depth", "8", "rgb:-"], capture_output=True,
                                  check=True).stdout

    def pixel(self, x, y):
        at = (y * self.width + x) * 3
        return tuple(self.rgb[at:at + 3])


def close_enough(actual, expected, tolerance):
    return all(abs(a - e) <= tolerance for a, e in zip(actual, expected))


def press_keys(window, keys):
    subprocess.run(["xdotool", "windowfocus", "--sync", window], check=False)
    subprocess.run(["xdotool", "key", keys], check=True)


# --- the prefix's registry and drive C: ----------------------------------------

SETTINGS_KEY = r"HKCU\Software\RAGE-MP"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Brindle"


def wine_quiet(*args):
    return subprocess.run(["wine", *args], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, text=True, errors="replace")


def store_install_folder(windows_path):
    """The folder as an earlier run registered it: the user's setting and the
    uninstall entry's "InstallLocation", which a start needs as well."""
    wine_quiet("reg", "add", SETTINGS_KEY, "/v", "brindle_path", "/t", "REG_SZ", "/d", windows_path, "/f")
    wine_quiet("reg", "add", UNINSTALL_KEY, "/v", "InstallLocation", "/t", "REG_SZ", "/d", windows_path, "/f")


def store_install_folder_exactly(value):
    """The setting byte for byte, through a .reg file: "reg add" would take
    quotes and backslashes in the value as its own."""
    escaped = value.replace("\\", "\\\\").replace('"', '\\"')
    path = artefact_path("stored-folder.reg")
    with open(path, "w", encoding="utf-16") as f:
        f.write('Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\RAGE-MP]\r\n'
                '"brindle_path"="%s"\r\n' % escaped)
    wine_quiet("regedit", "/s", "Z:" + path.replace("/", "\\"))
    if registry_value(SETTINGS_KEY, "brindle_path") != value:
        raise AssertionError("could not store %r as the install folder" % value)


def registry_value(key, name):
    """A string value read through "reg export", which keeps every character
    ("reg query" prints through the console's code page)."""
    export = artefact_path("registry-export.reg")
    if os.path.exists(export):
        os.remove(export)
    wine_quiet("reg", "export", key, "Z:" + export.replace("/", "\\"), "/y")
    if not os.path.exists(export):
        return None
    with open(export, "rb") as f:
        text = f.read().decode("utf-16")
    prefix = '"%s"="' % name
    for line in text.splitlines():
        if line.startswith(prefix) and line.endswith('"'):
            return line[len(prefix):-1].replace("\\\\", "\\").replace('\\"', '"')
    return None


def forget_installation():
    """Puts the prefix back to 'never installed': settings, uninstall entry, shortcut."""
    wine_quiet("reg", "delete", SETTINGS_KEY, "/f")
    wine_quiet("reg", "delete", UNINSTALL_KEY, "/f")
    for desktop in desktop_folders():
        link = os.path.join(desktop, "Brindle.lnk")
        if os.path.isfile(link):
            os.remove(link)


DOWNLOAD_FOLDER = "brindle_update"


def walk_install(folder):
    """os.walk over an install folder, without the launcher's download folder
    (where a run ended mid-download leaves its partial file)."""
    for base, folders, names in os.walk(folder):
        if os.path.samefile(base, folder):
            folders[:] = [f for f in folders if f != DOWNLOAD_FOLDER]
        yield base, folders, names


def desktop_folders():
    prefix = os.environ["WINEPREFIX"]
    users = os.path.join(prefix, "drive_c", "users")
    found = [os.path.join(users, u, "Desktop") for u in os.listdir(users)]
    found.append(os.path.join(os.environ.get("HOME", ""), "Desktop"))
    return [d for d in found if os.path.isdir(d)]


def windows_path(path):
    """A Unix path as Wine's programs see it, through the Z: drive."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def drive_c(*parts):
    """The Unix path of C:\\<parts> in the test prefix."""
    return os.path.join(os.environ["WINEPREFIX"], "drive_c", *parts)


def empty_folder(*parts):
    """C:\\<parts> in the test prefix, emptied of what an earlier run left."""
    folder = drive_c(*parts)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    return folder


# --- the loopback update server (tests/support/script_server.py) --------------

SERVER_DIR = os.environ.get("BRINDLE_SERVER_DIR", os.path.join(BUILD_DIR, "test-server"))


def server_port():
    with open(os.path.join(SERVER_DIR, "port")) as f:
        return int(f.read().strip())


def publish_release(files, deletes=(), routes=None):
    """Serves files ({manifest path: bytes}) and the manifest that lists them;
    routes maps a path to the route modifiers its file is served through (e.g.
    "slow/20/piece/65536/"). Returns the manifest as a dict."""
    import hashlib
    import json
    root = os.path.join(SERVER_DIR, "root", "release")
    os.makedirs(root, exist_ok=True)
    entries = []
    for path, content in files.items():
        # Named after the content, so the files of two releases can be served side by side.
        digest = hashlib.sha256(content).hexdigest()
        with open(os.path.join(root, digest + ".bin"), "wb") as f:
            f.write(content)
        entries.append({"path": path, "sha256": digest, "size": len(content),
                        "url": "http://127.0.0.1:%d/%sfile/release/%s.bin" % (server_port(),
                                                                         (routes or {}).get(path, ""), digest)})
    manifest = {"files": entries, "deletes": list(deletes)}
    # Replaced in one step: a launcher may be reading it.
    target = os.path.join(SERVER_DIR, "root", "manifest.json")
    with open(target + ".tmp", "w") as f:
        json.dump(manifest, f, ensure_ascii=False)
    os.replace(target + ".tmp", target)
    return manifest


def route_manifest(route):
    """Answers the manifest address through route (e.g. "slow/300/piece/512/
    file/manifest.json") instead of the plain file; None puts the plain one back."""
    path = os.path.join(SERVER_DIR, "root", "manifest.json.route")
    if route is None:
        if os.path.exists(path):
            os.remove(path)
        return
    with open(path, "w") as f:
        f.write(route)


def withdraw_release():
    route_manifest(None)
    path = os.path.join(SERVER_DIR, "root", "manifest.json")
    if os.path.exists(path):
        os.remove(path)


def requests_seen(server_dir=None):
    """Every request line the test server (or the one in server_dir) logged, oldest first."""
    with open(os.path.join(server_dir or SERVER_DIR, "requests.log")) as f:
        return f.read().splitlines()


def bytes_sent(fragment, server_dir=None):
    """The body bytes the test server has sent so far for paths that hold fragment."""
    total = 0
    with open(os.path.join(server_dir or SERVER_DIR, "sent.log")) as f:
        for line in f:
            count, _, path = line.rstrip("\n").partition(" ")
            if fragment in path:
                total += int(count)
    return total


def wait_for(condition, timeout, interval=0.1):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(interval)
    return condition()


# --- the stand-ins for the client's start program, the client and the game -----
# They are built next to the test program (tests/standins). Each appends what
# happens to it to a record file, one line per event; all stand-ins recording
# into one folder end when a "standins.stop" file appears there.

STANDIN_NAMES = ("updater.exe", "ragemp_v.exe", "GTA5.exe")


class StandInFolder:
    """A scratch folder whose path has spaces, with copies of the stand-ins."""

    def __init__(self, label, names=STANDIN_NAMES, subfolder="Game Files"):
        self.root = tempfile.mkdtemp(prefix="brindle %s " % label)
        self.path = os.path.join(self.root, subfolder)
        os.makedirs(self.path)
        for name in names:
            shutil.copy(os.path.join(BUILD_DIR, name), self.path)
        self.programs = []

    def file(self, name):
        return os.path.join(self.path, name)

    def start(self, name, args=(), log_name=None):
        program = Program(self.file(name), args, log_name or name.replace(".exe", ""))
        self.programs.append(program)
        return program

    def record(self, name):
        try:
            with open(self.file(name), encoding="utf-8") as recorded:
                return recorded.read().splitlines()
        except FileNotFoundError:
            return []

    def wait_for_record(self, name, line, timeout=15.0):
        return wait_for(lambda: line in self.record(name), timeout)

    def running(self):
        """Whether a program from this folder still runs (those the stand-ins
        started themselves included): its command line names the folder."""
        names = (self.root.encode(), windows_path(self.root).lower().encode())
        for pid in os.listdir("/proc"):
            if not pid.isdigit():
                continue
            try:
                with open("/proc/%s/cmdline" % pid, "rb") as f:
                    line = f.read().replace(b"\0", b" ")
            except OSError:
                continue
            if any(name in line or name in line.lower() for name in names):
                return True
        return False

    def close(self):
        with open(self.file("standins.stop"), "w"):
            pass
        # They look for the stop file ten times a second and end.
        wait_for(lambda: not self.running(), 10)
        for program in self.programs:
            program.kill()
        shutil.rmtree(self.root, ignore_errors=True)


class InstalledTestCase(unittest.TestCase):
    """A test with an install folder (C:\\FOLDER) stored for the launcher; the
    launchers it starts, the stand-ins and the watchers they leave, the served
    release and the settings are gone again afterwards."""

    FOLDER = "E2E"

    def setUp(self):
        subprocess.run(["xdotool", "mousemove", "0", "0"], check=True)
        self.folder = empty_folder(self.FOLDER)
        forget_installation()
        store_install_folder("C:\\" + self.FOLDER)
        self.launchers = []

    def tearDown(self):
        for launcher in self.launchers:
            launcher.kill()
        if os.path.isdir(self.folder):
            with open(os.path.join(self.folder, "standins.stop"), "w"):
                pass
            time.sleep(0.5)
        subprocess.run(["pkill", "-f", "--", "--watch-title"], check=False)
        kill_stray_launchers()
        withdraw_release()
        forget_installation()
        shutil.rmtree(self.folder, ignore_errors=True)

    def start(self, name, exe=EXE, args=(), env=None):
        launcher = start_launcher(args, exe=exe, name=name, env=env)
        self.launchers.append(launcher)
        return launcher
