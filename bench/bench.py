#!/usr/bin/env python3
"""Side-by-side benchmarks of the launcher's costly paths, under Wine.

bench/run.sh starts this after it has built the programs (build-bench/),
started one Xvfb display, one persistent wineserver on a throwaway prefix and
nginx on 127.0.0.1, so every figure of one run comes from the same machine at
the same time. Absolute times on a shared machine are noise; the ratios of
programs measured side by side, interleaved, in one run are what counts.

Sizes: BENCH_SCALE=full (default) or small, each size overridable on its own
(see SIZES). Results go to stdout and to build-bench/bench-results.{md,json}.
"""
import argparse
import ctypes
import hashlib
import json
import os
import platform
import re
import shutil
import socket
import statistics
import subprocess
import sys
import threading
import time
import types
import urllib.request

MIB = 1 << 20

# name: (environment variable, full, small)
SIZES = {
    "hash_mib": ("BENCH_HASH_MIB", 1024, 64),
    "small_files": ("BENCH_SMALL_FILES", 2000, 200),
    "small_kib": ("BENCH_SMALL_KIB", 16, 16),
    "release_files": ("BENCH_RELEASE_FILES", 10000, 1000),
    "release_mib": ("BENCH_RELEASE_MIB", 2048, 64),
    "big_mib": ("BENCH_BIG_MIB", 2048, 64),
    "reps": ("BENCH_REPS", 5, 2),
    "rtt_files": ("BENCH_RTT_FILES", 300, 60),
    "rtt_ms": ("BENCH_RTT_MS", 40, 40),
    "rtt_reps": ("BENCH_RTT_REPS", 3, 1),
    "parallel_big_mib": ("BENCH_PARALLEL_BIG_MIB", 256, 16),
}

WINDOW_TITLE = "BRINDLE Updater"
# Wine 8's WinHTTP reads Content-Length into a signed 32-bit number and ends
# every longer body after this many bytes (the launcher's hash check then
# rejects the download), so the "2 GiB" download is one byte short of it.
WINE_LARGEST_BODY = (1 << 31) - 1


def sizes_from_environment():
    scale = os.environ.get("BENCH_SCALE", "full")
    if scale not in ("full", "small"):
        sys.exit("BENCH_SCALE must be full or small")
    chosen = {}
    for name, (variable, full, small) in SIZES.items():
        chosen[name] = int(os.environ.get(variable, full if scale == "full" else small))
    chosen["scale"] = scale
    return chosen


# --- test data ----------------------------------------------------------------

class Data:
    """Files served by nginx (www/) and their hashes, generated once per run."""

    def __init__(self, root, port, sizes):
        self.root = root
        self.www = os.path.join(root, "www")
        self.port = port
        self.sizes = sizes
        self.block = os.urandom(4 * MIB)
        self.block2 = self.block + self.block  # any 4 MiB window of it is a slice
        os.makedirs(self.www, exist_ok=True)

    def url(self, relative):
        return "http://127.0.0.1:%d/%s" % (self.port, relative)

    def path(self, relative):
        return os.path.join(self.www, *relative.split("/"))

    def write(self, relative, size, seed):
        """Writes size bytes that differ from every other file's; returns the SHA-256."""
        path = self.path(relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        digest = hashlib.sha256()
        header = ("%s %d\n" % (relative, seed)).encode()[:size]
        offset = (seed * 7919) % len(self.block)
        with open(path, "wb") as f:
            f.write(header)
            digest.update(header)
            left = size - len(header)
            while left > 0:
                chunk = memoryview(self.block2)[offset:offset + min(left, len(self.block))]
                f.write(chunk)
                digest.update(chunk)
                left -= len(chunk)
        return digest.hexdigest()

    def generate(self, parts):
        """Only what the chosen parts use."""
        s = self.sizes
        self.tiny_file = "tiny.bin"
        self.tiny_sha = self.write(self.tiny_file, 1024, 3)
        if "instructions" in parts:
            counted_sizes = {"8k": 8192, "64k": 65536, "16m": 16 * MIB, "64m": 64 * MIB}
            self.counted = {key: "ir/%s.bin" % key for key in counted_sizes}
            for seed, (key, size) in enumerate(counted_sizes.items()):
                self.write(self.counted[key], size, 10 + seed)
        self.hash_file = "hash.bin"
        if {"hash", "download"} & parts:
            self.hash_sha = self.write(self.hash_file, s["hash_mib"] * MIB, 1)
        self.big_file = "big.bin"
        self.big_size = min(s["big_mib"] * MIB, WINE_LARGEST_BODY)
        if {"memory", "launcher"} & parts:
            self.big_sha = self.write(self.big_file, self.big_size, 2)
        self.small = ["small/s%05d.bin" % i for i in range(s["small_files"])]
        if "download" in parts:
            for i, name in enumerate(self.small):
                self.write(name, s["small_kib"] * 1024, 100 + i)
        self.rtt = ["rtt/r%04d.bin" % i for i in range(s["rtt_files"])]
        self.rtt_entries = []
        for i, name in enumerate(self.rtt if {"rtt", "parallel"} & parts else []):
            sha = self.write(name, s["small_kib"] * 1024, 300000 + i)
            self.rtt_entries.append({"path": name, "sha256": sha, "size": s["small_kib"] * 1024})
        # The release: files of about equal size in 100 folders, summing to release_mib.
        count = s["release_files"]
        total = s["release_mib"] * MIB
        self.release = []
        for i in range(count if {"update", "launcher"} & parts else 0):
            size = total // count + (total % count if i == count - 1 else 0)
            relative = "release/d%03d/f%05d.bin" % (i % 100, i)
            sha = self.write(relative, size, 100000 + i)
            self.release.append({"path": relative[len("release/"):], "sha256": sha, "size": size,
                                 "url": self.url(relative)})

    def publish(self, entries):
        """Makes entries the manifest at the launcher's built-in address."""
        with open(os.path.join(self.www, "manifest.json"), "w") as f:
            json.dump({"files": entries, "deletes": []}, f)


def windows_path(unix_path):
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def drive_c(*parts):
    return os.path.join(os.environ["WINEPREFIX"], "drive_c", *parts)


def remove(path):
    if os.path.isdir(path) and not os.path.islink(path):
        shutil.rmtree(path, ignore_errors=True)
    elif os.path.lexists(path):
        os.remove(path)


# --- running one measured process ---------------------------------------------

def self_io():
    counters = {}
    with open("/proc/self/io") as f:
        for line in f:
            key, value = line.split(":")
            counters[key] = int(value)
    return counters


class Run:
    """One finished process: its own printed fields, wall time, and the kernel's
    counters of it (bytes read, peak resident size), taken when it was reaped."""

    def __init__(self, fields, wall, usage, rchar, code, log):
        self.fields, self.wall, self.rchar, self.code, self.log = fields, wall, rchar, code, log
        self.maxrss_kib = usage.ru_maxrss
        self.process_cpu = usage.ru_utime + usage.ru_stime

    # The Windows programs time their own work, without Wine's start-up;
    # native tools start in a millisecond and are timed from outside.
    @property
    def seconds(self):
        return float(self.fields["seconds"]) if "seconds" in self.fields else self.wall

    @property
    def cpu(self):
        return float(self.fields["cpu"]) if "cpu" in self.fields else self.process_cpu


def parse_fields(text):
    fields = {}
    for line in text.splitlines():
        for key, value in re.findall(r"(\w+)=(\S*)", line):
            fields[key] = value
    return fields


def run_measured(args, log_path):
    """Runs args to the end. A reaped child's I/O counters are added to its
    parent's, and wait4 returns its peak resident size (the kernel's hiwater_rss,
    what VmHWM shows), so both are read here exactly, after the last byte."""
    with open(log_path, "wb") as log:
        before = self_io()
        start = time.perf_counter()
        # Wine's helper processes inherit output handles: files, never pipes.
        child = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
        _, status, usage = os.wait4(child.pid, 0)
        wall = time.perf_counter() - start
        after = self_io()
    child.returncode = os.waitstatus_to_exitcode(status)
    with open(log_path, "rb") as f:
        text = f.read().decode("utf-8", "replace")
    return Run(parse_fields(text), wall, usage, after["rchar"] - before["rchar"], child.returncode, text)


def wine(*args):
    return ["wine", *args]


class Bench:
    def __init__(self, build, port, sizes):
        self.build = build
        self.bin = os.path.join(build, "bench")
        self.logs = os.path.join(build, "bench-logs")
        shutil.rmtree(self.logs, ignore_errors=True)
        os.makedirs(self.logs)
        self.data = Data(os.path.join(build, "bench-data"), port, sizes)
        self.sizes = sizes
        self.rows = []      # table rows
        self.results = {}   # everything, for the JSON file
        self.log_count = 0

    def log_path(self, name):
        self.log_count += 1
        return os.path.join(self.logs, "%03d-%s.log" % (self.log_count, name))

    def measure(self, name, args, check=None):
        run = run_measured(args, self.log_path(name))
        if run.code != 0 or (check is not None and not check(run)):
            raise SystemExit("%s failed (exit %d):\n%s" % (name, run.code, run.log[-2000:]))
        return run

    def exe(self, name):
        return os.path.join(self.bin, name + ".exe")

    # --- table ------------------------------------------------------------------

    def add_row(self, workload, program, runs, byte_count, baseline=None, native=None):
        """One line of the table. A ratio is taken within each repetition,
        where both programs ran one right after the other, and the median of
        those is shown with their range: a busy spell of the machine falls on
        both sides of one ratio, where it would skew a ratio of best times."""
        seconds = [r.seconds for r in runs]
        best = min(seconds)

        def paired(others):
            if not others:
                return None
            ratios = [mine.seconds / other.seconds for mine, other in zip(runs, others)]
            return statistics.median(ratios), min(ratios), max(ratios)

        row = {"workload": workload, "program": program, "best": best, "median": statistics.median(seconds),
               "cpu": min(r.cpu for r in runs), "runs": seconds,
               "mb_per_s": byte_count / best / 1e6 if byte_count else None,
               "vs_bare": paired(baseline), "vs_native": paired(native)}
        self.rows.append(row)
        return best


# --- hashing ----------------------------------------------------------------------

def bench_hashing(b):
    d = b.data
    path = d.path(d.hash_file)
    subprocess.run(["cat", path], stdout=subprocess.DEVNULL, check=True)  # warm the page cache for everyone
    target = windows_path(path)

    def same_hash(key):
        return lambda run: run.fields.get(key) == d.hash_sha

    def native_hash(run):
        return d.hash_sha in run.log

    programs = [
        ("ours: sha256OfFile", lambda: b.measure("hash-ours", wine(b.exe("bench_driver"), "hash", target),
                                                  same_hash("sha256"))),
        ("bare CNG loop, 64 KiB reads", lambda: b.measure("hash-bare", wine(b.exe("bare_cng"), target),
                                                           same_hash("sha256"))),
        ("bare CNG loop, 1 MiB reads", lambda: b.measure("hash-bare-1m", wine(b.exe("bare_cng"), target, "1048576"),
                                                          same_hash("sha256"))),
        ("native openssl dgst -sha256", lambda: b.measure("hash-openssl", ["openssl", "dgst", "-sha256", path],
                                                           native_hash)),
        ("native sha256sum", lambda: b.measure("hash-sha256sum", ["sha256sum", path], native_hash)),
    ]
    runs = interleave(programs, b.sizes["reps"])
    size = b.sizes["hash_mib"] * MIB
    workload = "hash %d MiB file" % b.sizes["hash_mib"]
    for name, _ in programs:
        b.add_row(workload, name, runs[name], size, baseline=runs["bare CNG loop, 64 KiB reads"],
                  native=runs["native openssl dgst -sha256"])


def interleave(programs, reps):
    """Each repetition runs every program once; the order turns around every
    other repetition, so a slow spell of the machine falls on all of them."""
    runs = {name: [] for name, _ in programs}
    for rep in range(reps):
        order = programs if rep % 2 == 0 else list(reversed(programs))
        for name, go in order:
            runs[name].append(go())
    return runs


# --- downloads ----------------------------------------------------------------------

def accepted_connections(b):
    """nginx's count of the connections it has accepted so far."""
    with urllib.request.urlopen(b.data.url("nginx-status")) as response:
        return int(response.read().decode().splitlines()[2].split()[0])


def write_list(b, name, relatives, folder):
    """A download list for the Windows programs and a curl config, same files and targets."""
    os.makedirs(folder, exist_ok=True)
    list_path = os.path.join(b.build, "bench-data", name + ".list")
    curl_path = os.path.join(b.build, "bench-data", name + ".curl")
    with open(list_path, "w", encoding="utf-8") as wl, open(curl_path, "w") as cl:
        for relative in relatives:
            target = os.path.join(folder, relative.replace("/", "_"))
            wl.write("%s\t%s\t%d\n" % (b.data.url(relative), windows_path(target), os.path.getsize(b.data.path(relative))))
            cl.write('url = "%s"\noutput = "%s"\n' % (b.data.url(relative), target))
    return list_path, curl_path


def bench_downloads(b):
    d = b.data
    folder = os.path.join(b.build, "bench-data", "downloads")

    def downloaded(relatives, expect_sha=None):
        def check(run):
            for relative in relatives:
                target = os.path.join(folder, relative.replace("/", "_"))
                if os.path.getsize(target) != os.path.getsize(d.path(relative)):
                    return False
            if expect_sha is not None and not check.hashed:
                check.hashed = True  # once per program: the bytes, not only the size
                target = os.path.join(folder, relatives[0].replace("/", "_"))
                if file_sha256(target) != expect_sha:
                    return False
            shutil.rmtree(folder, ignore_errors=True)
            os.makedirs(folder)
            return True
        check.hashed = False
        return check

    for workload, relatives, sha in (
            ("download 1 file of %d MiB" % b.sizes["hash_mib"], [d.hash_file], d.hash_sha),
            ("download %d files of %d KiB" % (b.sizes["small_files"], b.sizes["small_kib"]), d.small, None)):
        name = "one" if len(relatives) == 1 else "many"
        list_path, curl_path = write_list(b, name, relatives, folder)
        wl = windows_path(list_path)
        check_ours, check_bare, check_close, check_reuse, check_curl = (downloaded(relatives, sha) for _ in range(5))
        programs = [
            ("ours: downloadToFile", lambda: b.measure("dl-%s-ours" % name, wine(b.exe("bench_driver"), "download", wl),
                                                        check_ours)),
            ("bare WinHTTP loop, session per file",
             lambda: b.measure("dl-%s-bare" % name, wine(b.exe("bare_winhttp"), wl, "per-file"), check_bare)),
        ]
        if len(relatives) > 1:
            programs.append(("bare WinHTTP loop, session per file, keep-alive off",
                             lambda: b.measure("dl-%s-bare-close" % name,
                                               wine(b.exe("bare_winhttp"), wl, "per-file-close"), check_close)))
            programs.append(("bare WinHTTP loop, one session",
                             lambda: b.measure("dl-%s-bare-reuse" % name, wine(b.exe("bare_winhttp"), wl, "one-session"),
                                               check_reuse)))
        programs.append(("native curl (one process)",
                         lambda: b.measure("dl-%s-curl" % name, ["curl", "-sS", "--fail", "-K", curl_path], check_curl)))
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        runs = interleave(programs, b.sizes["reps"])
        if len(relatives) > 1:
            # One more run of each, counting the connections it opened.
            counts = []
            for program, go in programs:
                before = accepted_connections(b)
                go()
                counts.append((program, accepted_connections(b) - before - 1))  # less the count's own
            b.results["connections"] = {"files": len(relatives), "counts": counts}
        size = sum(os.path.getsize(d.path(r)) for r in relatives)
        for program, _ in programs:
            b.add_row(workload, program, runs[program], size, baseline=runs["bare WinHTTP loop, session per file"],
                      native=runs["native curl (one process)"])
    shutil.rmtree(folder, ignore_errors=True)


# --- a first install at a real network's round-trip time -------------------------

class LatencyProxy:
    """bench/latency_proxy.py in front of one nginx port; counts its connections."""

    def __init__(self, b, upstream, rtt_ms, cut_every=None):
        self.port = free_port()
        self.count_file = os.path.join(b.build, "bench-data", "proxy-%d.count" % self.port)
        self.bytes_file = os.path.join(b.build, "bench-data", "proxy-%d.bytes" % self.port)
        cut = ["--cut-every", str(cut_every)] if cut_every else []
        self.process = subprocess.Popen(
            [sys.executable, os.path.join(os.path.dirname(__file__), "latency_proxy.py"), str(self.port), str(upstream),
             str(rtt_ms), "--count-file", self.count_file, "--bytes-file", self.bytes_file, *cut],
            stdin=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            try:
                socket.create_connection(("127.0.0.1", self.port), 0.2).close()
                break
            except OSError:
                time.sleep(0.05)

    def connections(self):
        return self.read_count(self.count_file)

    def bytes_delivered(self):
        """What the server has sent to the clients through the proxy so far."""
        return self.read_count(self.bytes_file)

    @staticmethod
    def read_count(path):
        try:
            with open(path) as f:
                return int(f.read())
        except (OSError, ValueError):
            return 0

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def through_proxy(b, proxy, fresh, name, args, check=None):
    """One measured run from a fresh start, with the connections it opened
    through the proxy and the bytes the server sent it."""
    def go():
        fresh()
        connections, sent = proxy.connections(), proxy.bytes_delivered()
        run = b.measure(name, args, check)
        run.connections = proxy.connections() - connections
        run.sent = proxy.bytes_delivered() - sent
        return run
    return go


def bench_round_trips(b):
    """The first install of many small files through the latency proxy, over
    HTTP and HTTPS: the launcher's whole update run (one session for the run);
    its downloads alone, on one session as the run fetches them and on a fresh
    session per file; curl on one connection and curl with six in parallel."""
    d = b.data
    files, kib = b.sizes["rtt_files"], b.sizes["small_kib"]
    folder = os.path.join(b.build, "bench-data", "rtt-downloads")
    install = drive_c("BenchRtt")
    results = []
    for rtt in (b.sizes["rtt_ms"], 0):
        for scheme, upstream in (("http", b.data.port), ("https", b.tls_port)):
            proxy = LatencyProxy(b, upstream, rtt)
            base = "%s://127.0.0.1:%d/" % (scheme, proxy.port)
            manifest = "manifest-rtt-%s.json" % scheme
            with open(d.path(manifest), "w") as f:
                json.dump({"files": [dict(e, url=base + e["path"]) for e in d.rtt_entries], "deletes": []}, f)
            list_path = os.path.join(b.build, "bench-data", "rtt.list")
            curl_path = os.path.join(b.build, "bench-data", "rtt.curl")
            os.makedirs(folder, exist_ok=True)
            with open(list_path, "w") as wl, open(curl_path, "w") as cl:
                for relative in d.rtt:
                    target = os.path.join(folder, relative.replace("/", "_"))
                    wl.write("%s%s\t%s\t%d\n" % (base, relative, windows_path(target),
                                                   os.path.getsize(d.path(relative))))
                    cl.write('url = "%s%s"\noutput = "%s"\n' % (base, relative, target))
            tls = ["--cacert", b.ca] if scheme == "https" else []

            def fresh():
                remove(install)
                shutil.rmtree(folder, ignore_errors=True)
                os.makedirs(folder)

            def counted(name, args, check=None):
                return through_proxy(b, proxy, fresh, name, args, check)

            def installed(run):
                return run.fields.get("succeeded") == "1"

            programs = [
                ("ours: the update run", counted("rtt-ours", wine(b.exe("bench_driver"), "install", base + manifest,
                                                                 windows_path(install)), installed)),
                ("ours: the update run, one lane", counted("rtt-ours-1", wine(b.exe("bench_driver"), "install",
                                                                             base + manifest, windows_path(install), "1"),
                                                          installed)),
                ("ours: downloads on one session", counted("rtt-session", wine(b.exe("bench_driver"), "download",
                                                                               windows_path(list_path), "session"))),
                ("ours: a fresh session per file", counted("rtt-before", wine(b.exe("bench_driver"), "download",
                                                                               windows_path(list_path)))),
                ("curl, one connection", counted("rtt-curl", ["curl", "-sS", "--fail", *tls, "-K", curl_path])),
                ("curl, 6 connections", counted("rtt-curl-6", ["curl", "-sS", "--fail", "--parallel",
                                                               "--parallel-max", "6", *tls, "-K", curl_path])),
            ]
            try:
                runs = interleave(programs, b.sizes["rtt_reps"])
            finally:
                proxy.stop()
                fresh()
            workload = "first install, %d files of %d KiB, %s, RTT %d ms" % (files, kib, scheme.upper(), rtt)
            for program, _ in programs:
                b.add_row(workload, program, runs[program], files * kib * 1024,
                          baseline=runs["curl, one connection"], native=runs["curl, 6 connections"])
            results.append({"workload": workload, "connections": {
                program: [r.connections for r in runs[program]] for program, _ in programs},
                "maxrss_kib": {program: max(r.maxrss_kib for r in runs[program]) for program, _ in programs}})
    remove(install)
    b.results["round_trips"] = results


def one_file_over_proxy(b, key, size, seed, cut_every=None):
    """One file of size bytes behind a latency proxy in front of nginx's HTTPS
    port, with a manifest that lists it, an install folder, a target for curl
    and fresh(), which clears both. Returns (proxy, url, manifest url, install,
    target, fresh)."""
    d = b.data
    relative = "%s/one-%dm.bin" % (key, size // MIB)
    sha = d.write(relative, size, seed)
    install = drive_c("Bench" + key.capitalize())
    target = os.path.join(b.build, "bench-data", "%s-curl.bin" % key)
    proxy = LatencyProxy(b, b.tls_port, b.sizes["rtt_ms"], cut_every=cut_every)
    base = "https://127.0.0.1:%d/" % proxy.port
    manifest = "manifest-%s.json" % key
    with open(d.path(manifest), "w") as f:
        json.dump({"files": [{"path": "one.bin", "sha256": sha, "size": size, "url": base + relative}],
                   "deletes": []}, f)

    def fresh():
        remove(install)
        if os.path.exists(target):
            os.remove(target)
    return proxy, base + relative, base + manifest, install, target, fresh


def bench_lossy_line(b):
    """One 64 MiB file over HTTPS at the round-trip time, through a line that
    drops every connection after 4 MiB: the update run, which continues each
    cut download, against curl resuming with -C -. curl --retry repeats the
    first request's range, so it never gets past the first cut; curl started
    again after each cut (a shell loop) shows what a resuming client needs."""
    size = 64 * MIB
    proxy, url, manifest, install, target, fresh = one_file_over_proxy(b, "lossy", size, 7, cut_every=4 * MIB)

    def counted(name, args, check):
        return through_proxy(b, proxy, fresh, name, args, check)

    def whole_file(run):
        return os.path.exists(target) and os.path.getsize(target) == size

    curl = "curl -sS --fail --cacert '%s' -C - -o '%s' '%s'" % (b.ca, target, url)
    programs = [
        ("ours: the update run", counted("lossy-ours", wine(b.exe("bench_driver"), "install", manifest,
                                                          windows_path(install)),
                                         lambda run: run.fields.get("succeeded") == "1")),
        # curl works out the -C - offset once, so each retry asks for the same range again.
        ("curl --retry 5 --retry-delay 1 -C - (gives up)",
         counted("lossy-curl-5", ["sh", "-c", curl.replace("curl ", "curl --retry 5 --retry-delay 1 ", 1) + " || true"],
                 None)),
        ("curl -C - started again after each cut, 1 s apart",
         counted("lossy-curl-loop", ["sh", "-c", "for i in $(seq 40); do %s && exit 0; sleep 1; done; exit 1" % curl],
                 whole_file)),
    ]
    try:
        runs = interleave(programs, b.sizes["rtt_reps"])
    finally:
        proxy.stop()
        fresh()
    workload = "one 64 MiB file, HTTPS, RTT %d ms, a cut every 4 MiB" % b.sizes["rtt_ms"]
    for program, _ in programs:
        b.add_row(workload, program, runs[program], size,
                  native=runs["curl -C - started again after each cut, 1 s apart"])
    b.results["lossy"] = {"workload": workload, "sent": {
        program: [r.sent for r in runs[program]] for program, _ in programs}, "file": size}


def bench_parallel(b):
    """Six download lanes against one where one file is all there is: a file
    of 256 MiB over HTTPS at the round-trip time, the update run with its
    lanes and with one, and curl. Then brindle.exe itself, window and all,
    over the round-trip workload's files against the bench driver's run of
    the same manifest, and the CPU its process uses while it shows progress."""
    d = b.data
    rtt = b.sizes["rtt_ms"]
    size = b.sizes["parallel_big_mib"] * MIB
    results = []
    proxy, url, manifest, install, target, fresh = one_file_over_proxy(b, "parallel", size, 8)

    def installed(run):
        return run.fields.get("succeeded") == "1"

    driver = wine(b.exe("bench_driver"), "install", manifest, windows_path(install))
    programs = [
        ("ours: the update run", through_proxy(b, proxy, fresh, "big-ours", driver, installed)),
        ("ours: the update run, one lane", through_proxy(b, proxy, fresh, "big-ours-1", driver + ["1"], installed)),
        ("curl, one connection", through_proxy(b, proxy, fresh, "big-curl", [
            "curl", "-sS", "--fail", "--cacert", b.ca, "-o", target, url])),
    ]
    try:
        runs = interleave(programs, b.sizes["rtt_reps"])
    finally:
        proxy.stop()
        fresh()
    os.remove(d.path("parallel/one-%dm.bin" % (size // MIB)))
    workload = "one file of %d MiB, HTTPS, RTT %d ms" % (size // MIB, rtt)
    for program, _ in programs:
        b.add_row(workload, program, runs[program], size, baseline=runs["ours: the update run, one lane"],
                  native=runs["curl, one connection"])
    results.append({"workload": workload,
                    "connections": {program: [r.connections for r in runs[program]] for program, _ in programs},
                    "maxrss_kib": {program: max(r.maxrss_kib for r in runs[program]) for program, _ in programs}})

    # brindle.exe reads the manifest at its built-in address; the files come through the proxy.
    screen = Screen()
    proxy = LatencyProxy(b, b.tls_port, rtt)
    base = "https://127.0.0.1:%d/" % proxy.port
    entries = [dict(e, url=base + e["path"]) for e in d.rtt_entries]
    d.publish(entries)
    folder = drive_c("BenchProgress")
    state = os.path.join(folder, "brindle.state")
    store_install_folder("C:\\BenchProgress")
    shown = []

    def launcher():
        remove(folder)
        connections = proxy.connections()
        run = LauncherRun(b, screen, "progress-launcher", state, 300)
        cpu, marks = run.cpu_marks, run.marks
        keys = ("first frame", "finished", "window at first frame", "window at finished")
        if None not in [cpu.get(key) for key in keys]:
            shown.append((cpu["finished"] - cpu["first frame"], marks["finished"] - marks["first frame"],
                          cpu["window at finished"] - cpu["window at first frame"]))
        return types.SimpleNamespace(seconds=marks["finished"], cpu=cpu.get("finished") or 0.0,
                                     connections=proxy.connections() - connections, maxrss_kib=run.maxrss_kib)

    def bench_driver():
        def wall(run):
            return types.SimpleNamespace(seconds=run.wall, cpu=run.process_cpu, connections=run.connections,
                                         maxrss_kib=run.maxrss_kib)
        go = through_proxy(b, proxy, lambda: remove(folder), "progress-driver",
                           wine(b.exe("bench_driver"), "install", d.url("manifest.json"), windows_path(folder)),
                           installed)
        return wall(go())

    programs = [("brindle.exe, process start to the written state", launcher),
                ("bench driver, process start to its end", bench_driver)]
    try:
        runs = interleave(programs, b.sizes["rtt_reps"])
    finally:
        proxy.stop()
        remove(folder)
    workload = "first install, %d files of %d KiB, HTTPS, RTT %d ms" % (len(entries), b.sizes["small_kib"], rtt)
    for program, _ in programs:
        b.add_row(workload, program, runs[program], len(entries) * b.sizes["small_kib"] * 1024,
                  baseline=runs["bench driver, process start to its end"])
    results.append({"workload": workload + " (window and all)",
                    "connections": {program: [r.connections for r in runs[program]] for program, _ in programs},
                    "maxrss_kib": {program: max(r.maxrss_kib for r in runs[program]) for program, _ in programs}})
    b.results["parallel"] = results
    b.results["launcher_progress"] = {"workload": workload, "runs": shown}


def file_sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for chunk in iter(lambda: f.read(4 * MIB), b""):
            digest.update(chunk)
    return digest.hexdigest()


# --- instruction counts -----------------------------------------------------------

def instructions(b, name, args):
    """Instructions the Windows program's process executed, counted by
    valgrind, which runs Wine's code and ours alike: repeatable to a few parts
    per million, where times on a shared machine vary by tens of per cent.
    (Cachegrind without its cache model: callgrind trips over the signals that
    Wine's sockets use.)"""
    log = b.log_path(name)
    with open(log, "wb") as f:
        subprocess.run(["valgrind", "--tool=cachegrind", "--cache-sim=no", "--trace-children=yes",
                        "--cachegrind-out-file=/dev/null", "/usr/lib/wine/wine64", *args],
                       stdin=subprocess.DEVNULL, stdout=f, stderr=subprocess.STDOUT, check=True)
    with open(log, "rb") as f:
        text = f.read().decode("utf-8", "replace")
    # Wine may start helper processes under valgrind too; the program is the first command.
    main_pid = re.search(r"==(\d+)== Command:", text).group(1)
    return int(re.search(r"==%s== I +refs: +([\d,]+)" % main_pid, text).group(1).replace(",", ""))


def bench_instructions(b):
    """Per unit of work, instructions of ours against the bare program's: the
    difference of a large and a small run leaves Wine's start-up out."""
    d = b.data
    folder = os.path.join(b.build, "bench-data", "downloads")

    def per_unit(name, program, small, large, units):
        return (instructions(b, name + "-large", program(large)) - instructions(b, name + "-small", program(small))) / units

    hash_ours = per_unit("ir-hash-ours", lambda f: [b.exe("bench_driver"), "hash", windows_path(d.path(f))],
                         d.counted["64k"], d.counted["16m"], 16 * MIB - 65536)
    hash_bare = per_unit("ir-hash-bare", lambda f: [b.exe("bare_cng"), windows_path(d.path(f))],
                         d.counted["64k"], d.counted["16m"], 16 * MIB - 65536)

    def download_list(relatives):
        return windows_path(write_list(b, "ir", relatives, folder)[0])

    chunks = (64 * MIB - 8192) / 8192  # WinHTTP under Wine hands out 8 KiB per chunk
    dl_ours = per_unit("ir-dl-ours", lambda r: [b.exe("bench_driver"), "download", download_list([r])],
                       d.counted["8k"], d.counted["64m"], chunks)
    dl_bare = per_unit("ir-dl-bare", lambda r: [b.exe("bare_winhttp"), download_list([r])],
                       d.counted["8k"], d.counted["64m"], chunks)
    # Not counted: many small files. Per connection, Wine's socket code takes
    # paths that depend on timing, and the count of one program varies by tens
    # of per cent from run to run; the timed download runs compare them.
    shutil.rmtree(folder, ignore_errors=True)
    b.results["instructions"] = [
        ("hashing, per byte", hash_ours, hash_bare),
        ("downloading one file, per 8 KiB chunk", dl_ours, dl_bare),
    ]


# --- the up-to-date check ------------------------------------------------------------

STRACE_LINE = re.compile(r"^(\d+)\s+(?:(read|pread64|readv|preadv)\((\d+)<([^>]*)>.*?|<\.\.\. (\w+) resumed>.*?)"
                         r"(<unfinished \.\.\.>|=\s+(-?\d+))")


def content_bytes_read(strace_path, folder):
    """Bytes that read calls returned from files under folder, the state file
    apart; parsed from strace -y, which prints the path behind every fd."""
    folder = os.path.realpath(folder) + os.sep
    pending = {}
    content = state = 0
    with open(strace_path, errors="replace") as f:
        for line in f:
            m = STRACE_LINE.match(line)
            if not m:
                continue
            pid, _, _, path, resumed, tail, result = m.groups()
            if tail.startswith("<unfinished"):
                pending[pid] = path
                continue
            if resumed:
                path = pending.pop(pid, None)
            if path is None or result is None or int(result) <= 0 or not path.startswith(folder):
                continue
            if os.path.basename(path) == "brindle.state":
                state += int(result)
            else:
                content += int(result)
    return content, state


def install_release(d):
    """C:\\BenchInstall holding the whole release: hard links to the served
    files, so no second copy takes disk space."""
    folder = drive_c("BenchInstall")
    if not os.path.isdir(folder):
        for entry in d.release:
            target = os.path.join(folder, *entry["path"].split("/"))
            os.makedirs(os.path.dirname(target), exist_ok=True)
            os.link(d.path("release/" + entry["path"]), target)
    return folder


def bench_up_to_date(b):
    d = b.data
    folder = install_release(d)
    d.publish(d.release)
    state = os.path.join(folder, "brindle.state")
    update = wine(b.exe("bench_driver"), "update", "C:\\BenchInstall")

    def succeeded(run):
        return run.fields.get("succeeded") == "1" and os.path.exists(state)

    def full():
        remove(state)
        return b.measure("update-full-hash", update, succeeded)

    def with_state():
        return b.measure("update-with-state", update, succeeded)

    # The full-hash run writes the state file that the next up-to-date run uses.
    runs = {"full": [], "state": []}
    for _ in range(b.sizes["reps"]):
        runs["full"].append(full())
        runs["state"].append(with_state())
    with open(state, "rb") as f:
        lines = sum(1 for _ in f)
    if lines != len(d.release):
        raise SystemExit("state file holds %d records for %d files" % (lines, len(d.release)))

    # One more of each under strace, only to attribute the bytes read to files.
    counted = {}
    for key, prepare in (("full", lambda: remove(state)), ("state", lambda: None)):
        prepare()
        trace = os.path.join(b.logs, "strace-%s.txt" % key)
        b.measure("update-%s-strace" % key, ["strace", "-f", "-y", "-s", "0", "-e",
                                              "trace=read,pread64,readv,preadv", "-o", trace] + update, succeeded)
        counted[key] = content_bytes_read(trace, folder)
        os.remove(trace)

    # Where the up-to-date run's time goes, step by step (best of the repetitions).
    steps = [b.measure("update-steps", wine(b.exe("bench_driver"), "update-steps", "C:\\BenchInstall"))
             for _ in range(b.sizes["reps"])]
    step_names = ("register", "fetch", "parse", "readstate", "stamps", "writestate")
    b.results["up_to_date_steps"] = {name: min(float(r.fields[name]) for r in steps) for name in step_names}

    workload = "update run, %d files / %d MiB installed" % (len(d.release), b.sizes["release_mib"])
    full_best = b.add_row(workload, "ours: RunUpdate, no state file (hash all)", runs["full"],
                          b.sizes["release_mib"] * MIB)
    state_best = b.add_row(workload, "ours: RunUpdate, valid state file", runs["state"], 0)
    b.rows[-1]["vs_full"] = state_best / full_best
    b.results["up_to_date"] = {
        "full_seconds": full_best, "state_seconds": state_best, "share": state_best / full_best,
        "content_bytes_full": counted["full"][0], "content_bytes_state": counted["state"][0],
        "state_file_bytes_read": counted["state"][1],
        "rchar_full": min(r.rchar for r in runs["full"]), "rchar_state": min(r.rchar for r in runs["state"]),
        "maxrss_kib_full": max(r.maxrss_kib for r in runs["full"]),
        "maxrss_kib_state": max(r.maxrss_kib for r in runs["state"]),
        "manifest_bytes": os.path.getsize(os.path.join(d.www, "manifest.json")),
        "state_file_bytes": os.path.getsize(state),
    }


def bench_memory(b):
    d = b.data
    # The floor: a complete run that installs one file of 1 KiB (registration,
    # manifest, one download, state file).
    tiny = drive_c("BenchTiny")
    os.makedirs(tiny, exist_ok=True)
    d.publish([{"path": "tiny.bin", "sha256": d.tiny_sha, "size": 1024, "url": d.url(d.tiny_file)}])
    run = b.measure("update-tiny", wine(b.exe("bench_driver"), "update", "C:\\BenchTiny"),
                    lambda r: r.fields.get("succeeded") == "1")
    b.results["tiny_release"] = {"seconds": run.seconds, "maxrss_kib": run.maxrss_kib}
    remove(tiny)

    folder = drive_c("BenchBig")
    remove(folder)
    os.makedirs(folder)
    d.publish([{"path": "big.bin", "sha256": d.big_sha, "size": d.big_size, "url": d.url(d.big_file)}])
    run = b.measure("update-big-download", wine(b.exe("bench_driver"), "update", "C:\\BenchBig"),
                    lambda r: r.fields.get("succeeded") == "1")
    b.results["big_download"] = {"seconds": run.seconds, "maxrss_kib": run.maxrss_kib, "rchar": run.rchar}
    remove(folder)


# --- the real launcher: start-up and memory -------------------------------------------

class Screen:
    """Single pixels of the X display, read through Xlib: about 0.2 ms each."""

    def __init__(self):
        x = ctypes.CDLL("libX11.so.6")
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XGetImage.restype = ctypes.c_void_p
        x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x.XGetPixel.restype = ctypes.c_ulong
        x.XGetPixel.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
        x.XDestroyImage.argtypes = [ctypes.c_void_p]
        x.XDisplayWidth.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x.XDisplayHeight.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.x = x
        self.display = x.XOpenDisplay(None)
        if not self.display:
            raise SystemExit("cannot open the X display")
        self.root = x.XDefaultRootWindow(self.display)
        # The launcher centres its window on the screen.
        self.centre = (x.XDisplayWidth(self.display, 0) // 2, x.XDisplayHeight(self.display, 0) // 2)

    def pixel(self, xy):
        image = self.x.XGetImage(self.display, self.root, xy[0], xy[1], 1, 1, 0xFFFFFFFFFFFFFFFF, 2)
        if not image:
            return None
        value = self.x.XGetPixel(image, 0, 0)
        self.x.XDestroyImage(image)
        return value & 0xFFFFFF


def proc_status(pid, key):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith(key + ":"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def stat_cpu_seconds(path):
    with open(path) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def proc_cpu_seconds(pid):
    """User and system time the process has used so far."""
    try:
        return stat_cpu_seconds("/proc/%d/stat" % pid)
    except (OSError, IndexError, ValueError):
        return None


def window_cpu_seconds(pid):
    """The part of it that the window's threads used: the frame loop's own
    (the process's first thread) and Wine's renderer's (wined3d, llvmpipe)."""
    total = 0.0
    try:
        for tid in os.listdir("/proc/%d/task" % pid):
            with open("/proc/%d/task/%s/comm" % (pid, tid)) as f:
                name = f.read().strip()
            if int(tid) == pid or name.startswith(("wined3d", "llvmpipe")):
                total += stat_cpu_seconds("/proc/%d/task/%s/stat" % (pid, tid))
    except (OSError, IndexError, ValueError):
        return None
    return total


def window_visible():
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % WINDOW_TITLE],
                         capture_output=True, text=True).stdout
    return out.split()[0] if out.split() else None


def store_install_folder(windows_folder):
    """As an earlier run registered it: a start needs the uninstall entry's record too."""
    for key, name in ((r"HKCU\Software\RAGE-MP", "brindle_path"),
                      (r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Brindle", "InstallLocation")):
        subprocess.run(wine("reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", windows_folder, "/f"),
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)


CLIENT_PROGRAM = "updater.exe"  # the client's start program in the install folder


class NewProcesses:
    """Processes that appear after the start, each with the time it was first
    seen. A new process shows its parent's command line until Wine has loaded
    its program, so the command lines are read again on every poll."""

    def __init__(self):
        self.before = {name for name in os.listdir("/proc") if name.isdigit()}
        self.first_seen = {}

    def poll(self, now):
        """{pid: (first seen, command line)} of the new processes still alive."""
        found = {}
        for name in os.listdir("/proc"):
            if not name.isdigit() or name in self.before:
                continue
            try:
                with open("/proc/%s/cmdline" % name, "rb") as f:
                    command = f.read().replace(b"\0", b" ").decode("utf-8", "replace")
            except OSError:
                continue
            found[int(name)] = (self.first_seen.setdefault(name, now), command)
        return found


def ours(pid):
    """Whether the process runs in this benchmark's Wine prefix."""
    try:
        with open("/proc/%d/environ" % pid, "rb") as f:
            return ("WINEPREFIX=%s" % os.environ["WINEPREFIX"]).encode() in f.read().split(b"\0")
    except OSError:
        return False


class LauncherRun:
    """The real brindle.exe from process start to its end: when its window
    maps, when its first frame shows, when its update run writes the state
    file, when it starts the client, when it exits; its peak resident size at
    the first frame and over its whole life."""

    def __init__(self, b, screen, name, state_file, timeout):
        self.marks = {}
        self.cpu_marks = {}
        self.hwm_first_frame_kib = None
        self.rss_first_frame = {}
        self.watchers = []
        background = screen.pixel(screen.centre)
        state_before = os.stat(state_file).st_mtime_ns if os.path.exists(state_file) else None
        processes = NewProcesses()
        with open(b.log_path(name), "wb") as log:
            start = time.perf_counter()
            self.child = subprocess.Popen(wine(os.path.join(b.build, "brindle.exe")), stdin=subprocess.DEVNULL,
                                          stdout=log, stderr=subprocess.STDOUT)
            pid = self.child.pid
            watcher = threading.Thread(target=self.watch_window, args=(start,), daemon=True)
            watcher.start()
            deadline = start + timeout
            usage = None
            while time.perf_counter() < deadline:
                now = time.perf_counter() - start
                if "first frame" not in self.marks and screen.pixel(screen.centre) not in (None, background, 0):
                    self.marks["first frame"] = now
                    self.cpu_marks["first frame"] = proc_cpu_seconds(pid)
                    self.cpu_marks["window at first frame"] = window_cpu_seconds(pid)
                    self.hwm_first_frame_kib = proc_status(pid, "VmHWM")
                    self.rss_first_frame = {key: proc_status(pid, key) for key in ("RssAnon", "RssFile", "RssShmem")}
                if "finished" not in self.marks:
                    if os.path.exists(state_file) and os.stat(state_file).st_mtime_ns != state_before:
                        self.marks["finished"] = now
                        self.cpu_marks["finished"] = proc_cpu_seconds(pid)
                        self.cpu_marks["window at finished"] = window_cpu_seconds(pid)
                else:
                    for other, (seen, command) in processes.poll(now).items():
                        if not ours(other):  # other work on this machine runs Wine too
                            continue
                        if CLIENT_PROGRAM in command.lower() and "client started" not in self.marks:
                            self.marks["client started"] = seen
                        if "--watch-title" in command and other not in self.watchers:
                            self.watchers.append(other)
                            self.marks.setdefault("watcher started", seen)
                done, status, usage = os.wait4(pid, os.WNOHANG)
                if done:
                    self.marks["exited"] = time.perf_counter() - start
                    break
                time.sleep(0.002)
            if usage is None or "exited" not in self.marks:
                status, usage = self.close()
            watcher.join(timeout=5)
        self.child.returncode = os.waitstatus_to_exitcode(status)
        self.maxrss_kib = usage.ru_maxrss
        self.end_watchers()
        if "client started" in self.marks:
            self.marks["to client"] = self.marks["client started"] - self.marks["finished"]
        if "first frame" not in self.marks or "finished" not in self.marks:
            raise SystemExit("%s: the launcher did not get through its run (marks %s)" % (name, self.marks))

    def watch_window(self, start):
        """When the window shows (xdotool, about 5 ms a look)."""
        while "exited" not in self.marks and time.perf_counter() - start < 120:
            if window_visible():
                self.marks["window mapped"] = time.perf_counter() - start
                return
            time.sleep(0.005)

    def close(self):
        """Closes a launcher that is still open as a user would and reaps it
        with wait4, which hands back its peak resident size."""
        window = window_visible()
        if window:
            subprocess.run(["xdotool", "windowfocus", "--sync", window], check=False)
            subprocess.run(["xdotool", "key", "alt+F4"], check=False)
        deadline = time.perf_counter() + 20
        while time.perf_counter() < deadline:
            pid, status, usage = os.wait4(self.child.pid, os.WNOHANG)
            if pid != 0:
                return status, usage
            time.sleep(0.05)
        self.child.kill()
        _, status, usage = os.wait4(self.child.pid, 0)
        return status, usage

    def end_watchers(self):
        """The title watcher waits up to half an hour for a game that never
        comes; the ones this run started are ended here, by their ids."""
        for pid in self.watchers:
            try:
                os.kill(pid, 9)
            except OSError:
                pass


def bench_launcher(b):
    d = b.data
    screen = Screen()
    # Start-up: a returning player, a small release already in place, and a
    # stand-in for the client's start program.
    folder = drive_c("BenchStart")
    remove(folder)
    small = [{"path": "data/one.bin", "sha256": d.release[0]["sha256"], "size": d.release[0]["size"],
              "url": d.release[0]["url"]}]
    os.makedirs(os.path.join(folder, "data"))
    os.link(d.path("release/" + d.release[0]["path"]), os.path.join(folder, "data", "one.bin"))
    shutil.copy(b.exe("bench_client"), os.path.join(folder, CLIENT_PROGRAM))
    # The launch starts only a start program that the run verified.
    shutil.copy(b.exe("bench_client"), d.path(CLIENT_PROGRAM))
    small.append({"path": CLIENT_PROGRAM, "sha256": file_sha256(d.path(CLIENT_PROGRAM)),
                  "size": os.path.getsize(d.path(CLIENT_PROGRAM)), "url": d.url(CLIENT_PROGRAM)})
    d.publish(small)
    store_install_folder("C:\\BenchStart")
    state = os.path.join(folder, "brindle.state")
    startups = [LauncherRun(b, screen, "launcher-start", state, 60) for _ in range(b.sizes["reps"])]
    b.results["startup"] = [dict(r.marks, maxrss_kib=r.maxrss_kib, hwm_first_frame_kib=r.hwm_first_frame_kib,
                                 exit_code=r.child.returncode, **r.rss_first_frame) for r in startups]
    remove(folder)

    # Memory while checking the release (state file removed: every file hashed).
    # No client program here: the launcher closes by itself after the run.
    store_install_folder("C:\\BenchInstall")
    d.publish(d.release)
    state = os.path.join(install_release(d), "brindle.state")
    remove(state)
    check = LauncherRun(b, screen, "launcher-check", state, 1800)
    b.results["launcher_check"] = dict(check.marks, maxrss_kib=check.maxrss_kib,
                                       hwm_first_frame_kib=check.hwm_first_frame_kib, exit_code=check.child.returncode)

    # Memory while downloading the big file.
    folder = drive_c("BenchBig")
    remove(folder)
    os.makedirs(folder)
    store_install_folder("C:\\BenchBig")
    d.publish([{"path": "big.bin", "sha256": d.big_sha, "size": d.big_size, "url": d.url(d.big_file)}])
    download = LauncherRun(b, screen, "launcher-download", os.path.join(folder, "brindle.state"), 1800)
    if file_sha256(os.path.join(folder, "big.bin")) != d.big_sha:
        raise SystemExit("the launcher's download of big.bin differs from the served file")
    b.results["launcher_download"] = dict(download.marks, maxrss_kib=download.maxrss_kib,
                                          hwm_first_frame_kib=download.hwm_first_frame_kib,
                                          exit_code=download.child.returncode)
    remove(folder)


# --- report ---------------------------------------------------------------------------

def fmt(value, pattern):
    return pattern % value if value is not None else ""


def machine_lines():
    def first(args):
        try:
            return subprocess.run(args, capture_output=True, text=True).stdout.strip().splitlines()[0]
        except (OSError, IndexError):
            return "?"
    cpu = "?"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    with open("/proc/meminfo") as f:
        memory = int(f.readline().split()[1]) // 1024
    flags = open("/proc/cpuinfo").read()
    return [
        "CPU: %s, %d cores online, SHA extensions: %s" % (cpu, os.cpu_count(), "yes" if " sha_ni" in flags else "no"),
        "Memory: %d MiB; kernel %s; load average at start %s" % (memory, platform.release(),
                                                                 open("/proc/loadavg").read().split()[0]),
        "Wine: %s; nginx: %s; %s; %s" % (first(["wine", "--version"]),
                                         first(["sh", "-c", "nginx -v 2>&1"]).split("/")[-1],
                                         first(["curl", "--version"]).split("(")[0].strip(),
                                         first(["openssl", "version"]).split(" (")[0]),
    ]


def report(b, started):
    s = b.sizes
    lines = ["# Benchmark run, scale %s, %s" % (s["scale"], time.strftime("%Y-%m-%d %H:%M")), ""]
    lines += ["- " + m for m in machine_lines()]
    repetitions = "%d" % s["reps"]
    if b.results.get("round_trips"):
        repetitions += " (%d for the round-trip workloads)" % s["rtt_reps"]
    lines += ["- Repetitions per figure: %s, interleaved. Times: best and median; MB/s from the best time; "
              "ratios: median of the ratios within each repetition, with their range" % repetitions, ""]
    lines.append("| workload | program | best s | median s | best CPU s | MB/s | time vs bare | time vs native |")
    lines.append("|---|---|---:|---:|---:|---:|---:|---:|")

    def ratio_text(ratio):
        return "%.2f (%.2f-%.2f)" % ratio if ratio else ""

    for r in b.rows:
        versus = ratio_text(r["vs_bare"]) if r.get("vs_bare") else fmt(r.get("vs_full"), "%.4f of full")
        lines.append("| %s | %s | %.3f | %.3f | %.2f | %s | %s | %s |" % (
            r["workload"], r["program"], r["best"], r["median"], r["cpu"], fmt(r["mb_per_s"], "%.0f"),
            versus, ratio_text(r["vs_native"])))
    for trip in b.results.get("round_trips", []) + b.results.get("parallel", []):
        lines.append("")
        lines.append("Connections through the proxy, %s (each run): %s" % (trip["workload"], "; ".join(
            "%s %s" % (program, "/".join(str(c) for c in counts)) for program, counts in trip["connections"].items())))
        lines.append("Peak resident size, MiB: %s" % "; ".join(
            "%s %.1f" % (program, kib / 1024) for program, kib in trip["maxrss_kib"].items() if kib))
    shown = b.results.get("launcher_progress")
    if shown:
        lines += ["", "brindle.exe over %s, CPU from its first frame to the written state (each run): %s" % (
            shown["workload"], "; ".join(
                "the process %.2f s in %.2f s = %.2f of a core, of which the window's threads %.2f s = %.2f" % (
                    cpu, wall, cpu / wall, window, window / wall) for cpu, wall, window in shown["runs"]))]
    lossy = b.results.get("lossy")
    if lossy:
        lines += ["", "Bytes the server sent through the lossy line, %s (each run; the file is %d): %s" % (
            lossy["workload"], lossy["file"], "; ".join(
                "%s %s (%s)" % (program, "/".join(str(c) for c in counts),
                                "/".join("%.2f" % (c / lossy["file"]) for c in counts))
                for program, counts in lossy["sent"].items()))]
    connections = b.results.get("connections")
    if connections:
        lines += ["", "Connections nginx accepted while %d files were downloaded, one run each: %s" % (
            connections["files"], "; ".join("%s %d" % pair for pair in connections["counts"]))]
    counts = b.results.get("instructions")
    if counts:
        lines += ["", "Instructions executed by the Windows process (valgrind), ours against the bare program:"]
        for what, ours, bare in counts:
            lines.append("- %s: %.1f against %.1f (%+.1f %%)" % (what, ours, bare, 100 * (ours / bare - 1)))
    u = b.results.get("up_to_date")
    if u:
        lines += ["", "Up-to-date check (%d files):" % len(b.data.release),
                  "- time with the state file: %.3f s = %.2f %% of the full-hash run (%.3f s)" % (
                      u["state_seconds"], 100 * u["share"], u["full_seconds"]),
                  "- file content read (strace -y, read calls on files under the install folder, state file "
                  "apart): %d bytes with the state file, %d bytes without" % (
                      u["content_bytes_state"], u["content_bytes_full"]),
                  "- the state file itself: %d bytes on disk, %d bytes read; the manifest: %d bytes" % (
                      u["state_file_bytes"], u["state_file_bytes_read"], u["manifest_bytes"]),
                  "- all bytes the Wine process read (rchar: files, DLLs, wineserver replies, sockets): "
                  "%.1f MB with the state file, %.1f MB without" % (u["rchar_state"] / 1e6, u["rchar_full"] / 1e6)]
        steps = b.results.get("up_to_date_steps")
        if steps:
            lines.append("- its steps timed one by one (best): " + ", ".join(
                "%s %.1f ms" % (name, 1000 * value) for name, value in steps.items()))
    lines += ["", "Peak resident size (VmHWM / wait4 maxrss), MiB:"]
    if u:
        lines.append("- bench driver, RunUpdate over %d files: %.1f hashing all, %.1f with the state file" % (
            len(b.data.release), u["maxrss_kib_full"] / 1024, u["maxrss_kib_state"] / 1024))
    tiny = b.results.get("tiny_release")
    if tiny:
        lines.append("- bench driver, RunUpdate installing one file of 1 KiB (the floor): %.1f" % (
            tiny["maxrss_kib"] / 1024))
    big = b.results.get("big_download")
    if big:
        lines.append("- bench driver, RunUpdate downloading one file of %d bytes: %.1f (run took %.1f s)" % (
            b.data.big_size, big["maxrss_kib"] / 1024, big["seconds"]))
    for key, what in (("launcher_check", "checking %d files, hashing all" % len(b.data.release)),
                      ("launcher_download", "downloading one file of %d bytes" % b.data.big_size)):
        r = b.results.get(key)
        if r:
            # Both counters move in steps of the kernel's per-thread RSS caches: the
            # later one can read a little below the earlier.
            peak = max(r["maxrss_kib"], r["hwm_first_frame_kib"])
            lines.append("- brindle.exe %s: %.1f peak, %.1f already at its first frame (growth %.1f); "
                         "run finished %.1f s after start" % (
                             what, peak / 1024, r["hwm_first_frame_kib"] / 1024,
                             (peak - r["hwm_first_frame_kib"]) / 1024, r["finished"]))
    starts = b.results.get("startup")
    if starts:
        def spread(key):
            values = sorted(r[key] for r in starts if key in r)
            return "%.3f s (best %.3f, worst %.3f)" % (statistics.median(values), values[0], values[-1]) \
                if values else "not seen"
        lines.append("- brindle.exe over a small update, the completion screen and the launch: %.1f peak, %.1f at "
                     "its first frame" % (max(max(r["maxrss_kib"], r["hwm_first_frame_kib"]) for r in starts) / 1024,
                                          min(r["hwm_first_frame_kib"] for r in starts) / 1024))
        first = starts[0]
        lines.append("- what brindle.exe holds at its first frame: %.1f anonymous (heaps, buffers), %.1f mapped "
                     "files (programs and libraries), %.1f shared memory" % (
                         first["RssAnon"] / 1024, first["RssFile"] / 1024, first["RssShmem"] / 1024))
        lines += ["", "Start-up of brindle.exe (returning player, small release up to date), median of %d:" % len(starts),
                  "- process start to window mapped: " + spread("window mapped"),
                  "- process start to first presented frame: " + spread("first frame"),
                  "- process start to the finished update run (state file written): " + spread("finished"),
                  "- process start to the client's start: " + spread("client started"),
                  "- finished update to the client's start: " + spread("to client"),
                  "- process start to the launcher's exit: " + spread("exited")]
        runs = starts + [b.results[k] for k in ("launcher_check", "launcher_download") if k in b.results]
        failed = [r["exit_code"] for r in runs if r["exit_code"] != 0]
        lines.append("- exit codes of brindle.exe: %d of %d runs ended with 0%s" % (
            len(runs) - len(failed), len(runs), "; others: %s" % failed if failed else ""))
    lines += ["", "Whole benchmark took %.0f s." % (time.perf_counter() - started)]
    text = "\n".join(lines) + "\n"
    print(text)
    with open(os.path.join(b.build, "bench-results.md"), "w") as f:
        f.write(text)
    with open(os.path.join(b.build, "bench-results.json"), "w") as f:
        json.dump({"sizes": s, "rows": b.rows, "results": b.results}, f, indent=1)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--tls-port", type=int, required=True)
    parser.add_argument("--ca", required=True)
    parser.add_argument("--only", default="instructions,hash,download,rtt,lossy,parallel,update,memory,launcher")
    args = parser.parse_args()
    sizes = sizes_from_environment()
    started = time.perf_counter()
    b = Bench(os.path.abspath(args.build), args.port, sizes)
    b.tls_port, b.ca = args.tls_port, args.ca
    parts = set(args.only.split(","))
    print("== generating test data (scale %s)" % sizes["scale"], flush=True)
    b.data.generate(parts)
    steps = [("instructions", "instruction counts (valgrind)", bench_instructions),
             ("hash", "hashing", bench_hashing), ("download", "downloads", bench_downloads),
             ("rtt", "a first install at a network's round-trip time", bench_round_trips),
             ("lossy", "one big file over a line that drops", bench_lossy_line),
             ("parallel", "download lanes: one big file, brindle.exe over many", bench_parallel),
             ("update", "up-to-date check", bench_up_to_date), ("memory", "memory: smallest run, big download", bench_memory),
             ("launcher", "brindle.exe start-up and memory", bench_launcher)]
    try:
        for key, title, step in steps:
            if key in parts:
                print("== " + title, flush=True)
                step(b)
    finally:
        report(b, started)


if __name__ == "__main__":
    main()
