#!/usr/bin/env python3
"""A loopback HTTP server whose answers are scripted by the request path.

Tests that need an update server (the HTTP client, the update worker, fault
injection) ask this one for exactly the answer they want to see:

    GET /status/404                      404 with a short text body
    GET /bytes/100000                    200 with 100000 pattern bytes
    GET /chunked/bytes/5000              the same, chunked transfer encoding
    GET /close-delimited/bytes/5000      no Content-Length; the body ends at close
    GET /cut/3000/bytes/10000            Content-Length 10000, then the connection
                                         closes after 3000 bytes
    GET /slow/50/piece/1000/file/a.bin   a file from the served folder, in
                                         1000-byte pieces, 50 ms apart
    GET /redirect/3/file/a.bin           302, 302, 302, then the file
    GET /length/500/bytes/1000           Content-Length 500, then 1000 bytes

A path is any number of modifiers followed by one body source; a query string
is ignored by the routing (see /echo to check that it arrived).

Modifiers:
    status/CODE      answer CODE instead of 200 (1xx, 204 and 304 carry no body)
    chunked          Transfer-Encoding: chunked, one chunk per piece
    close-delimited  no Content-Length, "Connection: close"; the body ends when
                     the server closes the connection
    cut/N            after N body bytes close the connection (FIN), whatever
                     length was announced
    reset/N          the same, but abort the connection with a TCP reset (RST)
    slow/MS          pause MS milliseconds before each piece of the body
    piece/N          write the body in pieces of N bytes (default 4096)
    stall/N/MS       once N body bytes have gone out, pause MS milliseconds
                     (at the next piece boundary), then go on
    length/N         announce Content-Length N whatever the body's length; the
                     connection closes after the body (shorter or longer than
                     announced), as its framing is broken
    corrupt/N        flip every bit of body byte N (same length, wrong bytes)
    redirect/N       answer 302 with an absolute Location: the same path with
                     redirect/N-1 (or, after the last, without it), so N
                     redirects lead to the rest of the route
    downgrade/PORT   answer 302 to the rest of the route on http://127.0.0.1:PORT/
                     (from an HTTPS server: a redirect to plain HTTP)
    linger           with length/N: keep the connection open after a body longer
                     than announced, its extra bytes left on the line for the
                     next answer to be read from
    close            answer with "Connection: close" and close the connection after it
    drop             close the connection after the answer without a word, as a
                     server whose idle time-out ends a kept connection
    fail/K/CODE      answer the first K requests for this exact path with CODE and
                     a short text body; from the K+1-th on, the rest of the route
    retry-after/S    send "Retry-After: S" with the answer
    no-range         ignore a Range header (answer 200 with the whole body)
    range-from/N     answer a Range header as if it asked for "bytes=N-"

A request with "Range: bytes=N-" for a 200 answer with a body is answered as
a plain file server does: 206 with the body from byte N on and "Content-Range:
bytes N-LAST/TOTAL", or 416 with "Content-Range: bytes */TOTAL" when N is not
before the end. The modifiers above then apply to that shorter body.

Body sources (the rest of the path):
    bytes/N          N bytes of the pattern: byte i is (i * 2654435761 >> 13) & 0xFF
    file/REL         the file REL (percent-decoded, "/" separated) under DIR/root;
                     404 when it is missing
    text/TEXT        TEXT, percent-decoded, as UTF-8 (e.g. /text/%7B%7D is "{}")
    echo             the request line and headers as received, as text
    endless          pattern bytes without end, chunked (for a client's size limit;
                     the server stops after 1 GiB)
    (nothing)        an empty body, or "status CODE\\n" after status/CODE

Any other path names a file under DIR/root: /manifest.json serves
DIR/root/manifest.json, the way a plain update server would. A top-level file
can be answered through a route instead: while DIR/root/NAME.route exists, /NAME
is answered as the route it holds (e.g. "slow/200/piece/512/file/m.json"), so
a test can slow down, break or end the fixed manifest address.

A missing top-level file (/manifest.json when root/manifest.json is absent) is
answered with 404, as a plain update server would. Any other path that is
neither a route nor an existing file is answered with 400 and a line in
server.log, so that a mistyped route cannot pass for a 404.

The state folder DIR holds:
    port             the TCP port, written once the server listens (127.0.0.1 only)
    pid              the server's process id
    root/            files served by /file/...; tests may write here
    requests.log     one line "METHOD /path?query" per request, in arrival order
    connections.log  one line "CONNECTION METHOD /path?query" per request, where
                     CONNECTION numbers the TCP connection it came on (from 1)
    sent.log         one line "BYTES /path?query" per answer: the body bytes that
                     went out (a cut answer counts what went before the cut)
    offline          (written by a test) while it exists, every connection is
                     reset at once, as if the server could not be reached
    server.log       the server's own output

With --tls CERT KEY the server speaks HTTPS with that certificate (PEM files),
and the state folder holds "scheme" with "https" in it.

Commands (options: --port N, default 0 = a free port; --idle-timeout S; --tls CERT KEY):
    script_server.py start DIR   start in the background, wait until it
                                 listens, print the port
    script_server.py stop DIR    stop the server started in DIR
    script_server.py serve DIR   run in the foreground

From Python (e.g. an end-to-end test), after sys.path has tests/support:
    import script_server
    script_server.server_url(DIR, "bytes/10")   # "http://127.0.0.1:PORT/bytes/10"

The server stops by itself after S seconds without a request (default 900),
in case nobody runs "stop". To add a route, add a function to MODIFIERS or
SOURCES below and describe it here.
"""
import argparse
import mimetypes
import os
import shutil
import signal
import socket
import ssl
import struct
import subprocess
import sys
import threading
import time
import urllib.parse
from dataclasses import dataclass
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

DEFAULT_IDLE_TIMEOUT = 900.0


def pattern_bytes(count):
    return bytes(((i * 2654435761) >> 13) & 0xFF for i in range(count))


class RouteError(Exception):
    pass


@dataclass
class Answer:
    status: int = 200
    body: bytes = b""
    content_type: str = "application/octet-stream"
    chunked: bool = False
    close_delimited: bool = False
    cut_after: int = None
    reset: bool = False
    slow_ms: int = 0
    piece: int = 4096
    stall_after: int = None
    stall_ms: int = 0
    announced: int = None
    corrupt_at: int = None
    headers: list = None
    has_source: bool = False
    endless: bool = False
    close_after: bool = False
    linger: bool = False
    drop_after: bool = False
    failing: bool = False
    no_range: bool = False
    range_from: int = None


def number(segments, what):
    if not segments:
        raise RouteError("%s needs a number" % what)
    try:
        return int(segments.pop(0))
    except ValueError:
        raise RouteError("%s needs a number" % what)


# Each modifier takes the remaining segments (after its own name) and changes the answer.
def mod_status(answer, segments, handler):
    answer.status = number(segments, "status")


def mod_chunked(answer, segments, handler):
    answer.chunked = True


def mod_close_delimited(answer, segments, handler):
    answer.close_delimited = True


def mod_cut(answer, segments, handler):
    answer.cut_after = number(segments, "cut")


def mod_reset(answer, segments, handler):
    answer.cut_after = number(segments, "reset")
    answer.reset = True


def mod_slow(answer, segments, handler):
    answer.slow_ms = number(segments, "slow")


def mod_piece(answer, segments, handler):
    answer.piece = max(1, number(segments, "piece"))


def mod_stall(answer, segments, handler):
    answer.stall_after = number(segments, "stall")
    answer.stall_ms = number(segments, "stall")


def mod_length(answer, segments, handler):
    answer.announced = number(segments, "length")


def mod_corrupt(answer, segments, handler):
    answer.corrupt_at = number(segments, "corrupt")


def mod_redirect(answer, segments, handler):
    count = number(segments, "redirect")
    rest = "/".join(segments)
    segments.clear()
    if count > 1:
        rest = "redirect/%d/%s" % (count - 1, rest)
    redirect_to(answer, handler, "%s://%s/%s" % ("https" if handler.server.tls else "http",
                                                 handler.headers.get("Host", "127.0.0.1"), rest))


def mod_linger(answer, segments, handler):
    answer.linger = True


def mod_close(answer, segments, handler):
    answer.close_after = True


def mod_drop(answer, segments, handler):
    answer.drop_after = True


def mod_fail(answer, segments, handler):
    count = number(segments, "fail")
    status = number(segments, "fail")
    if handler.server.count_failure(handler.path, count):
        answer.status = status
        answer.failing = True


def mod_retry_after(answer, segments, handler):
    answer.headers = (answer.headers or []) + [("Retry-After", str(number(segments, "retry-after")))]


def mod_no_range(answer, segments, handler):
    answer.no_range = True


def mod_range_from(answer, segments, handler):
    answer.range_from = number(segments, "range-from")


def mod_downgrade(answer, segments, handler):
    port = number(segments, "downgrade")
    rest = "/".join(segments)
    segments.clear()
    redirect_to(answer, handler, "http://127.0.0.1:%d/%s" % (port, rest))


def redirect_to(answer, handler, location):
    query = urllib.parse.urlsplit(handler.path).query
    location += "?" + query if query else ""
    answer.status = 302
    answer.headers = [("Location", location)]
    answer.body = ("redirect to %s\n" % location).encode()
    answer.content_type = "text/plain"
    answer.has_source = True


MODIFIERS = {
    "status": mod_status,
    "chunked": mod_chunked,
    "close-delimited": mod_close_delimited,
    "cut": mod_cut,
    "reset": mod_reset,
    "slow": mod_slow,
    "piece": mod_piece,
    "stall": mod_stall,
    "length": mod_length,
    "corrupt": mod_corrupt,
    "redirect": mod_redirect,
    "downgrade": mod_downgrade,
    "linger": mod_linger,
    "close": mod_close,
    "drop": mod_drop,
    "fail": mod_fail,
    "retry-after": mod_retry_after,
    "no-range": mod_no_range,
    "range-from": mod_range_from,
}


# Each source consumes the rest of the segments and sets the body.
def src_bytes(answer, segments, handler):
    answer.body = pattern_bytes(number(segments, "bytes"))
    segments.clear()


def src_file(answer, segments, handler):
    parts = [urllib.parse.unquote(s) for s in segments]
    segments.clear()
    if not parts or any(p in ("", ".", "..") or "/" in p or "\\" in p for p in parts):
        raise RouteError("file needs a plain relative path")
    path = os.path.join(handler.server.root, *parts)
    try:
        with open(path, "rb") as f:
            answer.body = f.read()
    except OSError:
        answer.status = 404
        answer.body = b"no such file\n"
        answer.content_type = "text/plain"
        return
    answer.content_type = mimetypes.guess_type(path)[0] or "application/octet-stream"


def src_text(answer, segments, handler):
    answer.body = urllib.parse.unquote("/".join(segments)).encode("utf-8")
    answer.content_type = "text/plain; charset=utf-8"
    segments.clear()


def src_endless(answer, segments, handler):
    if segments:
        raise RouteError("endless takes nothing after it")
    answer.endless = True
    answer.chunked = True


def src_echo(answer, segments, handler):
    if segments:
        raise RouteError("echo takes nothing after it")
    lines = [handler.requestline] + ["%s: %s" % item for item in handler.headers.items()]
    answer.body = ("\r\n".join(lines) + "\r\n").encode("latin-1")
    answer.content_type = "text/plain"


SOURCES = {"bytes": src_bytes, "file": src_file, "text": src_text, "echo": src_echo, "endless": src_endless}


ENDLESS_LIMIT = 1 << 30


def routed_instead(segments, handler):
    """The route a NAME.route file stands in for /NAME with, or None."""
    if len(segments) != 1:
        return None
    try:
        with open(os.path.join(handler.server.root, urllib.parse.unquote(segments[0]) + ".route")) as f:
            return f.read().strip()
    except OSError:
        return None


def plan_answer(path, handler):
    segments = [s for s in urllib.parse.urlsplit(path).path.split("/") if s]
    route = routed_instead(segments, handler)
    if route is not None:
        segments = [s for s in route.split("/") if s]
    answer = Answer()
    if segments and segments[0] not in MODIFIERS and segments[0] not in SOURCES:
        parts = [urllib.parse.unquote(s) for s in segments]
        if os.path.isfile(os.path.join(handler.server.root, *parts)):
            src_file(answer, segments, handler)
            return answer
        if len(segments) == 1:
            # A plain file at the top, such as /manifest.json, that is not
            # there: what a real update server answers.
            answer.status = 404
            answer.body = b"status 404\n"
            answer.content_type = "text/plain"
            return answer
    while segments:
        name = segments.pop(0)
        if name in MODIFIERS:
            MODIFIERS[name](answer, segments, handler)
        elif name in SOURCES:
            SOURCES[name](answer, segments, handler)
            answer.has_source = True
        else:
            raise RouteError("unknown route segment %r" % name)
    if answer.failing or (not answer.has_source and answer.status != 200):
        answer.body = ("status %d\n" % answer.status).encode("ascii")
        answer.content_type = "text/plain"
    if answer.corrupt_at is not None and answer.corrupt_at < len(answer.body):
        body = bytearray(answer.body)
        body[answer.corrupt_at] ^= 0xFF
        answer.body = bytes(body)
    if answer.status == 200 and answer.has_source and not answer.no_range and not answer.endless:
        asked = handler.headers.get("Range")
        if asked and answer.range_from is not None:
            asked = "bytes=%d-" % answer.range_from
        answer_range(answer, asked)
    return answer


def answer_range(answer, header):
    """Narrows a 200 answer to "bytes=N-", as a plain file server does."""
    if not header or not header.startswith("bytes=") or not header.endswith("-"):
        return
    try:
        first = int(header[len("bytes="):-1])
    except ValueError:
        return
    total = len(answer.body)
    if first < total:
        answer.status = 206
        answer.headers = (answer.headers or []) + [("Content-Range", "bytes %d-%d/%d" % (first, total - 1, total))]
        answer.body = answer.body[first:]
    else:
        answer.status = 416
        answer.headers = (answer.headers or []) + [("Content-Range", "bytes */%d" % total)]
        answer.body = b""


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "script-server/1"

    def setup(self):
        self.connection_number = self.server.note_connection()
        # The handshake in the connection's own thread: a client that gives up
        # on the certificate must not hold up the others.
        if self.server.tls is not None:
            self.request.settimeout(30)
            self.request = self.server.tls.wrap_socket(self.request, server_side=True)
        super().setup()

    def handle(self):
        if not self.reset_if_offline():
            super().handle()

    def reset_if_offline(self):
        # DIR/offline makes the server look unreachable: new connections, and
        # requests on kept-alive ones, are answered with a TCP reset.
        if not os.path.exists(os.path.join(self.server.state_dir, "offline")):
            return False
        self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.connection.close()
        self.close_connection = True
        return True

    def do_GET(self):
        if self.reset_if_offline():
            return
        self.server.note_request(self.command, self.path, self.connection_number)
        try:
            answer = plan_answer(self.path, self)
        except RouteError as error:
            self.log_message("bad route %s: %s", self.path, error)
            answer = Answer(status=400, body=("bad route: %s\n" % error).encode(), content_type="text/plain")
        self.sent = 0
        try:
            self.send(answer)
        except (ConnectionError, OSError):
            self.close_connection = True  # the client went away; nothing to report
        self.server.note_sent(self.path, self.sent)
        self.server.note_activity()

    def send(self, answer):
        self.send_response(answer.status)
        for name, value in answer.headers or ():
            self.send_header(name, value)
        if answer.status in (204, 304) or 100 <= answer.status < 200:
            self.end_headers()
            return
        self.send_header("Content-Type", answer.content_type)
        if answer.chunked:
            self.send_header("Transfer-Encoding", "chunked")
        elif answer.close_delimited:
            self.send_header("Connection", "close")
            self.close_connection = True
        elif answer.announced is not None:
            self.send_header("Content-Length", str(answer.announced))
        else:
            self.send_header("Content-Length", str(len(answer.body)))
        if answer.close_after:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        if answer.endless:
            self.send_endless(answer)
            return

        sent = 0
        stalled = False
        for at in range(0, len(answer.body), answer.piece):
            piece = answer.body[at:at + answer.piece]
            if answer.slow_ms:
                self.wfile.flush()
                time.sleep(answer.slow_ms / 1000.0)
            if answer.stall_after is not None and not stalled and sent >= answer.stall_after:
                stalled = True
                self.wfile.flush()
                time.sleep(answer.stall_ms / 1000.0)
            if answer.cut_after is not None and sent + len(piece) >= answer.cut_after:
                self.write_piece(answer, piece, answer.cut_after - sent)
                self.cut(answer.reset)
                return
            self.write_piece(answer, piece, len(piece))
            sent += len(piece)
        if answer.cut_after is not None:
            self.cut(answer.reset)
            return
        if answer.announced is not None and answer.announced != len(answer.body) and not answer.linger:
            self.cut(False)
            return
        if answer.chunked:
            self.wfile.write(b"0\r\n\r\n")
        self.wfile.flush()
        if answer.drop_after:
            self.cut(False)

    def send_endless(self, answer):
        piece = pattern_bytes(answer.piece)
        for _ in range(ENDLESS_LIMIT // len(piece)):
            self.write_piece(answer, piece, len(piece))
        self.wfile.write(b"0\r\n\r\n")
        self.wfile.flush()

    def write_piece(self, answer, piece, count):
        # A cut chunk still announces its full size.
        if answer.chunked:
            self.wfile.write(b"%x\r\n" % len(piece))
        self.wfile.write(piece[:count])
        self.sent += count
        if answer.chunked and count == len(piece):
            self.wfile.write(b"\r\n")

    def cut(self, reset):
        self.wfile.flush()
        if reset:
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        else:
            self.connection.shutdown(socket.SHUT_RDWR)
        self.connection.close()
        self.close_connection = True

    def finish(self):
        try:
            super().finish()
        except OSError:
            pass

    def log_message(self, format, *args):
        sys.stderr.write("%s %s\n" % (time.strftime("%H:%M:%S"), format % args))
        sys.stderr.flush()


class ScriptServer(ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, state_dir, port, tls=None):
        super().__init__(("127.0.0.1", port), Handler)
        self.tls = None
        if tls is not None:
            self.tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            self.tls.load_cert_chain(*tls)
        self.state_dir = state_dir
        self.root = os.path.join(state_dir, "root")
        self.last_activity = time.monotonic()
        self.log_lock = threading.Lock()
        self.connections = 0
        self.failures = {}

    def note_activity(self):
        self.last_activity = time.monotonic()

    def note_connection(self):
        with self.log_lock:
            self.connections += 1
            return self.connections

    def count_failure(self, path, count):
        """Whether this request for path is one of its first count."""
        with self.log_lock:
            done = self.failures.get(path, 0)
            self.failures[path] = done + 1
            return done < count

    def note_sent(self, path, count):
        with self.log_lock:
            with open(os.path.join(self.state_dir, "sent.log"), "a") as log:
                log.write("%d %s\n" % (count, path))

    def note_request(self, method, path, connection):
        self.note_activity()
        with self.log_lock:
            with open(os.path.join(self.state_dir, "requests.log"), "a") as log:
                log.write("%s %s\n" % (method, path))
            with open(os.path.join(self.state_dir, "connections.log"), "a") as log:
                log.write("%d %s %s\n" % (connection, method, path))


def write_atomically(path, text):
    with open(path + ".tmp", "w") as f:
        f.write(text)
    os.replace(path + ".tmp", path)


def remove_quietly(path):
    try:
        os.remove(path)
    except FileNotFoundError:
        pass


def serve(state_dir, port, idle_timeout, tls=None):
    os.makedirs(os.path.join(state_dir, "root"), exist_ok=True)
    server = ScriptServer(state_dir, port, tls)

    def stop_when_idle():
        while time.monotonic() - server.last_activity < idle_timeout:
            time.sleep(min(1.0, idle_timeout / 4))
        sys.stderr.write("idle for %.0f s, stopping\n" % idle_timeout)
        server.shutdown()

    signal.signal(signal.SIGTERM, lambda *_: threading.Thread(target=server.shutdown, daemon=True).start())
    threading.Thread(target=stop_when_idle, daemon=True).start()
    write_atomically(os.path.join(state_dir, "scheme"), "https\n" if tls else "http\n")
    write_atomically(os.path.join(state_dir, "pid"), "%d\n" % os.getpid())
    write_atomically(os.path.join(state_dir, "port"), "%d\n" % server.server_address[1])
    sys.stderr.write("listening on 127.0.0.1:%d\n" % server.server_address[1])
    sys.stderr.flush()
    try:
        server.serve_forever(poll_interval=0.2)
    finally:
        server.server_close()
        # Only our own files: a newer server may already have replaced them.
        if read_number(os.path.join(state_dir, "pid")) == os.getpid():
            remove_quietly(os.path.join(state_dir, "port"))
            remove_quietly(os.path.join(state_dir, "pid"))


def read_number(path):
    try:
        with open(path) as f:
            return int(f.read().strip())
    except (OSError, ValueError):
        return None


def server_url(state_dir, route):
    """The address of route (without its leading "/") on the server running in state_dir."""
    port = read_number(os.path.join(state_dir, "port"))
    if port is None:
        raise RuntimeError("no script server is running in %s" % state_dir)
    return "%s://127.0.0.1:%d/%s" % (read_scheme(state_dir), port, route)


def read_scheme(state_dir):
    try:
        with open(os.path.join(state_dir, "scheme")) as f:
            return f.read().strip() or "http"
    except OSError:
        return "http"


def is_our_server(pid):
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            args = f.read().split(b"\0")
    except OSError:
        return False
    return any(a.endswith(b"script_server.py") for a in args) and b"serve" in args


def stop(state_dir):
    pid = read_number(os.path.join(state_dir, "pid"))
    if pid is not None and is_our_server(pid):
        os.kill(pid, signal.SIGTERM)
        deadline = time.monotonic() + 10
        while is_our_server(pid) and time.monotonic() < deadline:
            time.sleep(0.05)
        if is_our_server(pid):
            os.kill(pid, signal.SIGKILL)
        print("script server %d stopped" % pid)
    else:
        print("no script server running in %s" % state_dir)
    remove_quietly(os.path.join(state_dir, "port"))
    remove_quietly(os.path.join(state_dir, "pid"))


def start(state_dir, port, idle_timeout, tls=None):
    stop(state_dir)  # a leftover of an interrupted run
    shutil.rmtree(os.path.join(state_dir, "root"), ignore_errors=True)
    os.makedirs(os.path.join(state_dir, "root"))
    open(os.path.join(state_dir, "requests.log"), "w").close()
    open(os.path.join(state_dir, "connections.log"), "w").close()
    open(os.path.join(state_dir, "sent.log"), "w").close()
    with open(os.path.join(state_dir, "server.log"), "wb") as log:
        # Detached and with no inherited pipes, so ctest sees this command end.
        process = subprocess.Popen(
            [sys.executable, os.path.abspath(__file__), "serve", state_dir, "--port", str(port),
             "--idle-timeout", str(idle_timeout)] + (["--tls", *tls] if tls else []),
            stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT, start_new_session=True, close_fds=True)
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline:
        port = read_number(os.path.join(state_dir, "port"))
        if port is not None:
            print("script server %d listening on 127.0.0.1:%d" % (process.pid, port))
            return 0
        if process.poll() is not None:
            break
        time.sleep(0.05)
    with open(os.path.join(state_dir, "server.log")) as log:
        sys.stderr.write(log.read())
    sys.stderr.write("script server did not start\n")
    return 1


def main():
    parser = argparse.ArgumentParser(description="Scripted loopback HTTP server for tests.")
    parser.add_argument("command", choices=("start", "stop", "serve"))
    parser.add_argument("state_dir")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--idle-timeout", type=float, default=DEFAULT_IDLE_TIMEOUT)
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    args = parser.parse_args()
    state_dir = os.path.abspath(args.state_dir)
    os.makedirs(state_dir, exist_ok=True)
    tls = [os.path.abspath(p) for p in args.tls] if args.tls else None
    if args.command == "start":
        return start(state_dir, args.port, args.idle_timeout, tls)
    if args.command == "stop":
        stop(state_dir)
        return 0
    serve(state_dir, args.port, args.idle_timeout, tls)
    return 0


if __name__ == "__main__":
    sys.exit(main())
