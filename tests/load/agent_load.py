#!/usr/bin/env python3
"""Load and fault tests of the real agent on the simulated phone.

Runs inside scripts/phone-env --netns --switch on: starts zelvik_support_server from $ZELVIK_BIN
and drives it over loopback with raw sockets. Every case ends with the same check: the agent
is alive, answers, and all of its 100 handlers are free again.

    agent_load.py [--short] [case ...]

--short               fewer cycles and cuts (for slow builds such as ThreadSanitizer)
ZELVIK_LOAD_LONG=1    longer variants: more cycles, longer slow-client runs, a client that
                      never reads until the agent drops it
ZELVIK_LOAD_SEED=N    seed of the random cut offsets (printed on every run)
ZELVIK_AGENT_WRAPPER  command put before the agent, e.g. "gdb -batch -ex run -ex bt --args"
                      (the /proc counts then need the agent itself as the direct child: not with
                      the vanish case)
"""

import os
import random
import re
import select
import shlex
import shutil
import signal
import socket
import struct
import subprocess
import sys
import threading
import time

PORT = 10008
MAX_THREADS = 100  # "maxThreads" as the agent configures it
WRITE_STALL_S = 30  # a client that takes no byte for this long is dropped by the agent
TOO_MANY = b"HTTP/1.1 503 too many connections\r\nConnection: close\r\n\r\nToo many connections\r\n"
EMPTY_LAYOUT = (b'<?xml version="1.0" encoding="UTF-8" ?>'
                b'<root createTime="" sopId="" uiAppId=""></root>')
TEMP_DIR = "data/home/user/com.orvana.zelvikSupport/temp"

SHORT = "--short" in sys.argv
LONG = os.environ.get("ZELVIK_LOAD_LONG") == "1" and not SHORT
ROOT = os.environ["ORVANA_DEVICE_ROOT"]


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def scaled(short, normal, long):
    return short if SHORT else long if LONG else normal


def wait_until(predicate, timeout, step=0.1):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(step)


# ---- sockets and HTTP ----------------------------------------------------------------------

def connect(rcvbuf=None, timeout=10):
    PACER.wait()
    sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    if rcvbuf:
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, rcvbuf)
    sock.settimeout(timeout)
    sock.connect(("127.0.0.1", PORT))
    return sock


def accept_queue():
    """Connections waiting in the agent's listen queue (its backlog is 50)."""
    with open("/proc/net/tcp") as table:
        for line in table:
            fields = line.split()
            # Local address 0.0.0.0:2718 in state 0A (listen); rx_queue is the waiting count.
            if fields[1].endswith(f":{PORT:04X}") and fields[3] == "0A":
                return int(fields[4].split(":")[1], 16)
    return 0


class Pacer:
    """Keeps a fast client from overflowing the listen queue: a dropped SYN costs a 1 s retry."""

    def __init__(self, every=16, limit=24):
        self.every, self.limit, self.count, self.lock = every, limit, 0, threading.Lock()

    def wait(self):
        with self.lock:
            self.count += 1
            if self.count % self.every:
                return
            while accept_queue() >= self.limit:
                time.sleep(0.002)


PACER = Pacer()


def reset(sock):
    """Closes with an RST instead of a FIN."""
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    sock.close()


def request_bytes(path, method="GET", headers=(), body=b""):
    lines = [f"{method} {path} HTTP/1.1", "Host: agent"]
    lines += [f"{name}: {value}" for name, value in headers]
    if body or method == "POST":
        lines.append(f"Content-Length: {len(body)}")
    return ("\r\n".join(lines) + "\r\n\r\n").encode() + body


class Reader:
    """Reads HTTP responses one by one from a kept connection."""

    def __init__(self, sock):
        self.sock = sock
        self.buffer = b""

    def fill(self):
        data = self.sock.recv(65536)
        if not data:
            raise Failure("connection closed before the response was complete")
        self.buffer += data

    def take(self, count):
        while len(self.buffer) < count:
            self.fill()
        data, self.buffer = self.buffer[:count], self.buffer[count:]
        return data

    def line(self):
        while b"\r\n" not in self.buffer:
            self.fill()
        line, self.buffer = self.buffer.split(b"\r\n", 1)
        return line

    def head(self):
        status_line = self.line()
        match = re.match(rb"HTTP/1\.1 (\d{3}) ", status_line + b" ")
        check(match, f"bad status line {status_line[:80]!r}")
        headers = {}
        while True:
            line = self.line()
            if not line:
                return int(match.group(1)), headers
            name, _, value = line.partition(b":")
            headers[name.strip().lower()] = value.strip()

    def response(self):
        status, headers = self.head()
        if b"content-length" in headers:
            return status, headers, self.take(int(headers[b"content-length"]))
        if headers.get(b"connection", b"").lower() == b"close":
            body = self.buffer + read_to_end(self.sock)
            self.buffer = b""
            return status, headers, body
        check(headers.get(b"transfer-encoding", b"").lower() == b"chunked", f"no body framing in {headers}")
        body = b""
        while True:
            size = int(self.line().split(b";")[0], 16)
            chunk = self.take(size + 2)
            if size == 0:
                return status, headers, body
            body += chunk[:-2]


def get(path, timeout=30, headers=()):
    """One request on its own connection: (status, body)."""
    with connect(timeout=timeout) as sock:
        sock.sendall(request_bytes(path, headers=headers))
        status, _, body = Reader(sock).response()
        return status, body


def read_to_end(sock, timeout=10):
    sock.settimeout(timeout)
    data = b""
    while True:
        chunk = sock.recv(65536)
        if not chunk:
            return data
        data += chunk


def has_pending_input(sock):
    readable, _, _ = select.select([sock], [], [], 0)
    return bool(readable)


# ---- the agent -----------------------------------------------------------------------------

class Agent:
    per_handler_fds = 1

    def __init__(self):
        self.log_path = os.path.join(ROOT, "log", "agent-load.log")
        env = dict(os.environ, QT_LOGGING_RULES="*.debug=true")
        binary = os.path.join(os.environ["ZELVIK_BIN"], "zelvik_support_server")
        self.log = open(self.log_path, "wb")
        wrapper = shlex.split(os.environ.get("ZELVIK_AGENT_WRAPPER", ""))
        self.process = subprocess.Popen(wrapper + [binary], stdout=self.log, stderr=subprocess.STDOUT, env=env)
        if not wait_until(self.answers, 30, 0.1):
            self.stop()
            raise Failure("the agent did not come up:\n" + self.log_tail())

    def answers(self):
        if self.process.poll() is not None:
            raise Failure(f"the agent ended with {self.process.returncode}:\n" + self.log_tail())
        try:
            with connect(timeout=1):
                return True
        except OSError:
            return False

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.log.close()

    def alive(self):
        return self.process.poll() is None

    def threads(self):
        return len(os.listdir(f"/proc/{self.process.pid}/task"))

    def fds(self):
        return len(os.listdir(f"/proc/{self.process.pid}/fd"))

    def handlers(self):
        """Handlers alive, from the pool's own log lines."""
        with open(self.log_path, "rb") as log:
            text = log.read()
        return text.count(b"): constructed") - text.count(b"Removed connection handler")

    def log_tail(self, lines=40):
        try:
            with open(self.log_path, "rb") as log:
                return b"\n".join(log.read().splitlines()[-lines:]).decode(errors="replace")
        except OSError:
            return ""


def free_handlers():
    """Fills the pool with idle connections: the number served before the first 503."""
    socks = []
    try:
        for _ in range(MAX_THREADS + 1):
            socks.append(connect())
        # One more than the pool holds: the last is refused, and the refusals come in order.
        select.select([socks[-1]], [], [], 10)
        time.sleep(0.2)
        refused = 0
        for sock in socks:
            if has_pending_input(sock):
                check(read_to_end(sock) == TOO_MANY, "a connection got other bytes than the 503 answer")
                refused += 1
        return len(socks) - refused
    finally:
        for sock in socks:
            sock.close()


def assert_healthy(agent, timeout=15):
    check(agent.alive(), "the agent is gone")
    status, body = get("/getOsVersion")
    check(status == 200 and body, f"/getOsVersion answered {status} {body!r}")
    # Handlers are freed asynchronously: poll until every one is back.
    free = wait_until(lambda: free_handlers() == MAX_THREADS and MAX_THREADS, timeout, 0.5)
    check(free == MAX_THREADS, f"not every handler came back (free {free_handlers()} of {MAX_THREADS})")


def settle(agent, quiet=1.5, timeout=20):
    """Waits until the agent's handlers, threads and fds stay unchanged for quiet seconds."""
    deadline = time.monotonic() + timeout
    last, since = None, time.monotonic()
    while time.monotonic() < deadline:
        now = (agent.handlers(), agent.threads(), agent.fds())
        if now != last:
            last, since = now, time.monotonic()
        elif time.monotonic() - since >= quiet:
            break
        time.sleep(0.1)
    return last


def resources_settled(agent, expect, timeout=15):
    """Waits until threads and fds match expect(handlers) -> (threads, fds); returns the last look."""
    last = None

    def settled():
        nonlocal last
        handlers = agent.handlers()
        last = (handlers, agent.threads(), agent.fds(), expect(handlers))
        return last[1:3] == last[3]

    wait_until(settled, timeout, 0.2)
    return last


# ---- cases ---------------------------------------------------------------------------------

def case_pool(agent):
    """Each handler the pool grows by costs one thread and a fixed number of descriptors."""
    check(get("/getOsVersion")[0] == 200, "the agent does not answer")
    before = settle(agent)
    check(wait_until(lambda: free_handlers() == MAX_THREADS, 10, 0.5), "the pool has no 100 free handlers")
    after = settle(agent)
    grown = after[0] - before[0]
    check(grown > 0 and after[1] - before[1] == grown and (after[2] - before[2]) % grown == 0,
          f"handlers/threads/fds went from {before} to {after}")
    agent.per_handler_fds = (after[2] - before[2]) // grown
    print(f"  {after[0]} handlers, {after[1]} threads, {after[2]} fds, {agent.per_handler_fds} fd(s) per handler")


def case_connections(agent):
    """100 concurrent connections are served, the next 50 get the exact 503 answer."""
    held = [connect() for _ in range(MAX_THREADS)]
    try:
        for sock in held:
            sock.sendall(b"GET /getOsVersion HTTP/1.1\r\nHost: agent\r\n")
        for index in range(50):
            with connect() as sock:
                answer = read_to_end(sock)
                check(answer == TOO_MANY, f"connection {MAX_THREADS + index + 1} got {answer[:100]!r}")
        check(not any(has_pending_input(sock) for sock in held), "a held connection got bytes before its request")
        for sock in held:
            sock.sendall(b"\r\n")
        for index, sock in enumerate(held):
            status, _, body = Reader(sock).response()
            check(status == 200 and body, f"held connection {index} got {status} {body!r}")
    finally:
        for sock in held:
            sock.close()


def case_vanish(agent):
    """Connect-and-vanish cycles leave no thread or descriptor behind."""
    cycles = scaled(1000, 10000, 30000)
    # Reference: the pool full of idle handlers, so that every later change is a trim. Each probe
    # itself occupies every handler; a second between probes lets a slow (instrumented) agent give
    # them back. A handler that really stays busy is only freed by the 60 s read timeout.
    check(wait_until(lambda: free_handlers() == MAX_THREADS, 30, 1.0), "pool not free before the cycles")
    base_handlers, base_threads, base_fds = settle(agent)
    per_handler_fds = agent.per_handler_fds

    def partial_then_close(sock):
        sock.sendall(b"GET /getOsVersion HTTP/1.1\r\nHo")
        sock.close()

    def request_then_reset(sock):
        sock.sendall(request_bytes("/"))
        reset(sock)

    kinds = [socket.socket.close, reset, partial_then_close, request_then_reset]
    errors = []

    def worker(first):
        try:
            for index in range(first, cycles, 4):
                kinds[index % len(kinds)](connect())
        except OSError as error:
            errors.append(error)

    started = time.monotonic()
    workers = [threading.Thread(target=worker, args=(i,)) for i in range(4)]
    for thread in workers:
        thread.start()
    for thread in workers:
        thread.join()
    elapsed = time.monotonic() - started
    check(not errors, f"client errors: {errors[:3]}")

    def expect(handlers):
        trimmed = base_handlers - handlers
        return base_threads - trimmed, base_fds - per_handler_fds * trimmed

    handlers, threads, fds, wanted = resources_settled(agent, expect)
    print(f"  {cycles} cycles in {elapsed:.1f} s; handlers {base_handlers}->{handlers}, "
          f"threads {base_threads}->{threads}, fds {base_fds}->{fds}")
    check(handlers <= MAX_THREADS, f"{handlers} handlers, more than {MAX_THREADS}")
    check((threads, fds) == wanted, f"threads/fds {threads}/{fds}, expected {wanted[0]}/{wanted[1]}")


def upload_request(target, content):
    boundary = "----zelvikload" + os.urandom(8).hex()
    body = (f"--{boundary}\r\nContent-Disposition: form-data; name=\"file\"; filename=\"data.bin\"\r\n"
            f"Content-Type: application/octet-stream\r\n\r\n").encode() + content + f"\r\n--{boundary}--\r\n".encode()
    return request_bytes("/upLoadFile", "POST",
                         [("FileName", target), ("Content-Type", f"multipart/form-data; boundary={boundary}")], body)


def temp_entries():
    try:
        return os.listdir(os.path.join(ROOT, TEMP_DIR))
    except FileNotFoundError:
        return []


def case_uploads(agent):
    """Uploads cut at random byte offsets leave no target file and no temporary file."""
    seed = int(os.environ.get("ZELVIK_LOAD_SEED", str(random.randrange(1 << 30))))
    print(f"  seed {seed} (ZELVIK_LOAD_SEED)")
    rng = random.Random(seed)
    folder = os.path.join(ROOT, "uploads")
    os.makedirs(folder, exist_ok=True)
    content = rng.randbytes(256 * 1024)

    whole = os.path.join(folder, "whole.bin")
    with connect() as sock:
        sock.sendall(upload_request(whole, content))
        status, _, body = Reader(sock).response()
    check((status, body) == (200, b"1"), f"a whole upload answered {status} {body!r}")
    with open(whole, "rb") as file:
        check(file.read() == content, "the uploaded file differs from what was sent")
    check(wait_until(lambda: not temp_entries(), 5), f"temporary files after a whole upload: {temp_entries()}")

    for index in range(scaled(10, 40, 200)):
        target = os.path.join(folder, f"cut-{index}.bin")
        data = upload_request(target, content)
        offset = rng.randrange(1, len(data))
        sock = connect()
        sock.sendall(data[:offset])
        # Let part of the body reach the temporary file before the client vanishes.
        time.sleep(0.02)
        reset(sock) if index % 2 else sock.close()
        left = wait_until(lambda: not temp_entries(), 10) or temp_entries()
        check(left is True, f"cut at {offset} of {len(data)}: left in the temporary folder: {left}")
        check(not os.path.exists(target), f"cut at {offset} of {len(data)}: the target exists")


def stalled_client(path, count):
    """A client with a tiny receive window that asks for count answers and reads almost nothing."""
    sock = connect(rcvbuf=2048, timeout=30)
    sock.sendall(request_bytes(path) * count)
    reader = Reader(sock)
    reader.buffer = sock.recv(1000)
    return reader


def case_slow_readers(agent):
    """Clients that stop reading mid-response keep neither the agent nor their handler."""
    count = 20
    shots = stalled_client("/getScreenShot", count)
    layouts = stalled_client("/getLayoutXML", count)
    vanishing = stalled_client("/getScreenShot", count)
    try:
        for path in ["/getOsVersion", "/getScreenShot", "/getLayoutXML"] * 3:
            started = time.monotonic()
            status, body = get(path, timeout=10)
            check(status == 200 and body, f"{path} answered {status} while clients stalled")
            check(time.monotonic() - started < 10, f"{path} took too long while clients stalled")
        reset(vanishing.sock)
        # The stalled ones read on: every answer is whole.
        for reader, path in [(shots, "/getScreenShot"), (layouts, "/getLayoutXML")]:
            for index in range(count):
                status, _, body = reader.response()
                check(status == 200, f"{path} answer {index} after the stall: {status}")
                if path == "/getScreenShot":
                    check(re.fullmatch(rb"[A-Za-z0-9+/=]+,\d+,\d+", body), f"screenshot {index} is not base64,h,w")
                else:
                    check(b"<root" in body, f"layout {index} is not a layout document")
    finally:
        for reader in (shots, layouts, vanishing):
            reader.sock.close()
    if LONG:
        # A client that never reads again: the agent drops it after its write stall.
        sock = stalled_client("/getScreenShot", count).sock
        try:
            started = time.monotonic()
            free = wait_until(lambda: free_handlers() == MAX_THREADS, WRITE_STALL_S + 30, 1)
            check(free, "a client that never reads keeps its handler")
            print(f"  a silent client was dropped after {time.monotonic() - started:.0f} s")
        finally:
            sock.close()


def open_stream():
    sock = connect(timeout=10)
    sock.sendall(request_bytes("/SysLogger"))
    reader = Reader(sock)
    status, headers = reader.head()
    check(status == 200 and headers.get(b"content-type", b"").startswith(b"text/event-stream"),
          f"/SysLogger answered {status} {headers}")
    return reader


def append_log_line(text):
    with open(os.path.join(ROOT, "data/log/message"), "a") as log:
        log.write(text + "\n")


def case_streams(agent):
    """Log streams next to ordinary requests, up to every handler and back."""
    streams = [open_stream() for _ in range(90)]
    try:
        marker = f"load-test-line-{os.getpid()}-{time.time_ns()}"
        append_log_line(marker)
        for index, stream in enumerate(streams):
            stream.sock.settimeout(10)
            while f"data:{marker}\n\n".encode() not in stream.buffer:
                stream.fill()

        # The 10 handlers left serve ordinary requests, concurrently. The agent closes these
        # connections itself, so a handler is free again before its asker's next request (after
        # a client's close it is freed only when its thread next runs, which a busy machine delays).
        answers = []

        def ask():
            for _ in range(4):
                answers.append(get("/getOsVersion", headers=(("Connection", "close"),)))

        askers = [threading.Thread(target=ask) for _ in range(5)]
        for thread in askers:
            thread.start()
        for thread in askers:
            thread.join()
        check(len(answers) == 20 and all(status == 200 and body for status, body in answers),
              f"ordinary requests next to 90 streams: {answers}")

        streams += [open_stream() for _ in range(10)]
        with connect() as sock:
            check(read_to_end(sock) == TOO_MANY, "a request with 100 open streams was not refused with 503")

        for stream in streams[:50]:
            stream.sock.close()
        served = wait_until(lambda: get("/getOsVersion")[0] == 200, 5, 0.05)
        check(served, "no request served after 50 streams closed")
    except TimeoutError:
        raise Failure("a stream did not deliver the appended line")
    finally:
        for stream in streams:
            stream.sock.close()


def case_slowhttptest(agent):
    """slowhttptest in its three modes; afterwards the agent answers as before."""
    tool = shutil.which("slowhttptest")
    check(tool, "slowhttptest is not installed (scripts/setup installs it)")
    length = scaled(4, 6, 60)
    base = f"http://127.0.0.1:{PORT}"
    modes = [
        ("slow headers", ["-H", "-i", "1", "-u", f"{base}/getOsVersion"]),
        ("slow body", ["-B", "-i", "1", "-s", "100000", "-u", f"{base}/upLoadFile"]),
        ("slow read", ["-X", "-k", "4", "-n", "1", "-w", "1", "-y", "64", "-z", "32", "-u", f"{base}/main.js"]),
    ]
    for name, options in modes:
        command = [tool, *options, "-c", "120", "-r", "120", "-l", str(length), "-p", "3"]
        run = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=length + 60)
        output = run.stdout.decode(errors="replace")
        check(run.returncode == 0, f"slowhttptest {name} ended with {run.returncode}:\n{output[-2000:]}")
        # Still answering, and the slow connections gave their handlers back.
        assert_healthy(agent, timeout=20)
        print(f"  {name}: {length} s, agent healthy afterwards")


def sim_pid():
    reply = subprocess.run(
        ["dbus-send", f"--bus={os.environ['DBUS_SYSTEM_BUS_ADDRESS']}", "--print-reply=literal",
         "--dest=org.freedesktop.DBus", "/", "org.freedesktop.DBus.GetConnectionUnixProcessID",
         "string:com.orvana.compositor"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=10)
    match = re.search(rb"uint32 (\d+)", reply.stdout)
    return int(match.group(1)) if reply.returncode == 0 and match else None


# The empty value each endpoint answers while the phone does not.
RESTART_ENDPOINTS = {
    "/getOsVersion": b"",
    "/getDisplayState": b"0",
    "/getScreenShot": b",0,0",
    "/getLayoutXML": EMPTY_LAYOUT,
    "/checkFileExist?filename=/": b"0",
    "/getVolume?type=2": b"0",
}
# Qt's D-Bus call timeout: no request may wait longer than that for a missing phone.
DBUS_TIMEOUT_S = 25

started_sims = []


def case_sim_restart(agent):
    """orvana-sim killed and started again while requests run."""
    pid = sim_pid()
    check(pid, "cannot find orvana-sim on the system bus")
    answers = []
    stop = threading.Event()

    def worker(offset):
        paths = list(RESTART_ENDPOINTS)
        index = offset
        while not stop.is_set():
            path = paths[index % len(paths)]
            index += 1
            begin = time.monotonic()
            try:
                status, body = get(path, timeout=DBUS_TIMEOUT_S + 10)
            except (OSError, Failure) as error:
                status, body = None, str(error).encode()
            answers.append((path, begin, time.monotonic(), status, body))

    workers = [threading.Thread(target=worker, args=(i,)) for i in range(4)]
    for thread in workers:
        thread.start()
    try:
        time.sleep(1)
        os.kill(pid, signal.SIGKILL)
        check(wait_until(lambda: sim_pid() is None, 10), "orvana-sim still owns its name after SIGKILL")
        down = time.monotonic()
        time.sleep(2)
        up_started = time.monotonic()
        log = open(os.path.join(ROOT, "log", "orvana-sim-restarted.log"), "wb")
        sim = subprocess.Popen([shutil.which("orvana-sim")], stdout=log, stderr=subprocess.STDOUT)
        started_sims.append(sim)
        check(wait_until(lambda: sim_pid() == sim.pid, 20), "the new orvana-sim did not register")
        time.sleep(1)
    finally:
        stop.set()
        for thread in workers:
            thread.join()

    failed = [a for a in answers if a[3] != 200]
    check(not failed, f"requests failed during the restart: {failed[:3]}")
    slowest = max(a[2] - a[1] for a in answers)
    check(slowest < DBUS_TIMEOUT_S, f"a request took {slowest:.1f} s")
    outage = [a for a in answers if a[1] > down and a[2] < up_started]
    check(len(outage) >= len(RESTART_ENDPOINTS), f"only {len(outage)} requests while the phone was gone")
    wrong = [(a[0], a[4][:80]) for a in outage if a[4] != RESTART_ENDPOINTS[a[0]]]
    check(not wrong, f"answers while the phone was gone that are not the empty value: {wrong[:5]}")
    print(f"  {len(answers)} requests, {len(outage)} while the phone was gone, slowest {slowest:.2f} s")

    # Back to real answers with the new orvana-sim.
    status, version = get("/getOsVersion")
    check(status == 200 and version, f"/getOsVersion after the restart: {status} {version!r}")
    shot = wait_until(lambda: get("/getScreenShot")[1] != b",0,0", 10, 0.2)
    check(shot, "no screenshot after the restart")


CASES = {
    "pool": case_pool,
    "connections": case_connections,
    "vanish": case_vanish,
    "uploads": case_uploads,
    "slow-readers": case_slow_readers,
    "streams": case_streams,
    "slowhttptest": case_slowhttptest,
    "sim-restart": case_sim_restart,  # last: it replaces the simulated phone
}


def run_case(agent, name, case):
    begin = time.monotonic()
    print(f"{name}: {case.__doc__.strip()}", flush=True)
    try:
        case(agent)
        assert_healthy(agent)
        print(f"PASS {name} ({time.monotonic() - begin:.1f} s)", flush=True)
        return True
    except (Failure, OSError) as error:
        print(f"FAIL {name}: {type(error).__name__}: {error}", flush=True)
        print(agent.log_tail(), flush=True)
        return False


def main():
    names = [arg for arg in sys.argv[1:] if not arg.startswith("--")] or list(CASES)
    unknown = [name for name in names if name not in CASES]
    if unknown:
        print(f"unknown cases {unknown}; known: {list(CASES)}")
        return 2
    # The pool's cost per handler is what later cases count with; it runs first.
    names = ["pool"] + [name for name in names if name != "pool"]
    passed = failed = 0
    agent = None
    try:
        agent = Agent()
        for name in names:
            if run_case(agent, name, CASES[name]):
                passed += 1
            else:
                failed += 1
                if not agent.alive():
                    break
    except Failure as error:
        print(f"FAIL start: {error}")
        failed += 1
    finally:
        if agent:
            agent.stop()
        for sim in started_sims:
            if sim.poll() is None:
                sim.terminate()
                try:
                    sim.wait(10)
                except subprocess.TimeoutExpired:
                    sim.kill()
                    sim.wait()
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
