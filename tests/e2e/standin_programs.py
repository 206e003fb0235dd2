"""The stand-ins for the client's start program, the client and the game.

They are built next to the test program (tests/standins). Each appends what
happens to it to a record file, one line per event; all stand-ins recording
into one folder end when a "standins.stop" file appears there.
"""
import os
import shutil
import tempfile
import time

import brindle_harness as h

NAMES = ("updater.exe", "ragemp_v.exe", "GTA5.exe")


def windows_path(path):
    """The path as Wine's programs see it, through the Z: drive."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class StandInFolder:
    """A scratch folder whose path has spaces, with copies of the stand-ins."""

    def __init__(self, label, names=NAMES, subfolder="Game Files"):
        self.root = tempfile.mkdtemp(prefix="brindle %s " % label)
        self.path = os.path.join(self.root, subfolder)
        os.makedirs(self.path)
        for name in names:
            shutil.copy(os.path.join(h.BUILD_DIR, name), self.path)
        self.programs = []

    def file(self, name):
        return os.path.join(self.path, name)

    def start(self, name, args=(), log_name=None):
        program = h.Program(self.file(name), args, log_name or name.replace(".exe", ""))
        self.programs.append(program)
        return program

    def record(self, name):
        try:
            with open(self.file(name), encoding="utf-8") as recorded:
                return recorded.read().splitlines()
        except FileNotFoundError:
            return []

    def wait_for_record(self, name, line, timeout=15.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if line in self.record(name):
                return True
            time.sleep(0.1)
        return False

    def close(self):
        with open(self.file("standins.stop"), "w"):
            pass
        time.sleep(1.0)
        for program in self.programs:
            program.kill()
        shutil.rmtree(self.root, ignore_errors=True)

