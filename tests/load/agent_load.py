#!/usr/bin/env python3
"""Load and fault run of the real agent (from $ZELVIK_BIN) on the simulated phone, over loopback
inside scripts/phone-env --netns --switch on. After every case the agent must answer and have all
of its 100 handlers free again (the 101st connection gets the exact 503 answer).

    agent_load.py [--short] [case ...]    --short: fewer cycles (ThreadSanitizer builds)
    ZELVIK_LOAD_LONG=1: more cycles, longer slow clients, a client that never reads
"""

import http.client
import io
import os
import re
import select
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
SHORT = "--short" in sys.argv
LONG = os.environ.get("ZELVIK_LOAD_LONG") == "1" and not SHORT
ROOT = os.environ["ORVANA_DEVICE_ROOT"]


class Failure(Exception):
    pass


ERRORS = (Failure, OSError, http.client.HTTPException)


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_until(predicate, timeout, step=0.1):
    deadline = time.monotonic() + timeout
    while not (value := predicate()) and time.monotonic() < deadline:
        time.sleep(step)
    return value


def accept_queue():
    """Connections waiting in the agent's listen queue (state 0A, rx_queue)."""
    with open("/proc/net/tcp") as table:
        for fields in map(str.split, table):
            if fields[1].endswith(f":{PORT:04X}") and fields[3] == "0A":
                return int(fields[4].split(":")[1], 16)
    return 0


PACE = {"count": 0, "lock": threading.Lock()}


def connect(rcvbuf=None, timeout=10):
    # Every 16th connection waits for room in the listen queue (backlog 50): a dropped SYN
    # costs a 1 s retry.
    with PACE["lock"]:
        PACE["count"] += 1
        while PACE["count"] % 16 == 0 and accept_queue() >= 24:
            time.sleep(0.002)
    sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    if rcvbuf:
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, rcvbuf)
    sock.settimeout(timeout)
    sock.connect(("127.0.0.1", PORT))
    return sock


def reset(sock):
    """Closes with an RST instead of a FIN."""
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    sock.close()


def request_bytes(path, headers=()):
    return "".join(f"{line}\r\n" for line in [f"GET {path} HTTP/1.1", "Host: agent", *headers, ""]).encode()


def read_to_end(sock, timeout=10):
    sock.settimeout(timeout)
    return b"".join(iter(lambda: sock.recv(65536), b""))


def run_threads(target, count=4):
    threads = [threading.Thread(target=target, args=(i,)) for i in range(count)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()


class KeptOpen(io.BufferedReader):
    def close(self):
        pass  # http.client closes its file after each response; the next one follows on it


class Reader:
    """Reads HTTP responses one by one from a kept connection."""

    def __init__(self, sock):
        self.sock, self.file = sock, KeptOpen(socket.SocketIO(sock, "rb"))

    def makefile(self, *args):
        return self.file

    def head(self):
        """(status, the response with its headers read)."""
        answer = http.client.HTTPResponse(self)
        answer.begin()
        check(answer.version == 11, f"answer in HTTP version {answer.version}")
        return answer.status, answer

    def response(self):
        status, answer = self.head()
        return status, answer.read()


def get(path, timeout=30):
    """One request on its own connection: (status, body)."""
    with connect(timeout=timeout) as sock:
        sock.sendall(request_bytes(path))
        return Reader(sock).response()


def get_past_503(path, timeout=30):
    """Handlers are freed asynchronously: a 503 is tried again for a while."""
    return wait_until(lambda: (a := get(path, timeout))[0] != 503 and a, 5) or (503, b"")


class Agent:
    def __init__(self):
        self.log_path = os.path.join(ROOT, "log", "agent-load.log")
        self.log = open(self.log_path, "wb")
        self.process = subprocess.Popen([os.path.join(os.environ["ZELVIK_BIN"], "zelvik_support_server")],
                                        stdout=self.log, stderr=subprocess.STDOUT,
                                        env=dict(os.environ, QT_LOGGING_RULES="*.debug=true"))
        if not wait_until(self.answers, 30):
            self.stop()
            raise Failure("the agent did not come up:\n" + self.log_tail())

    def answers(self):
        check(self.process.poll() is None, f"the agent ended with {self.process.returncode}")
        try:
            with connect(timeout=1):
                return True
        except OSError:
            return False

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.log.close()

    def resources(self):
        """(handlers alive by the pool's own log lines, threads, descriptors)."""
        with open(self.log_path, "rb") as log:
            text = log.read()
        proc = f"/proc/{self.process.pid}"
        return (text.count(b"): constructed") - text.count(b"Removed connection handler"),
                len(os.listdir(f"{proc}/task")), len(os.listdir(f"{proc}/fd")))

    def settle(self, quiet=1.5, timeout=20):
        """The resources once they stayed unchanged for quiet seconds."""
        deadline, last, since = time.monotonic() + timeout, None, time.monotonic()
        while time.monotonic() < deadline:
            if (now := self.resources()) != last:
                last, since = now, time.monotonic()
            elif time.monotonic() - since >= quiet:
                break
            time.sleep(0.1)
        return last

    def log_tail(self, lines=40):
        with open(self.log_path, "rb") as log:
            return b"".join(log.readlines()[-lines:]).decode(errors="replace")


def free_handlers():
    """Fills the pool with idle connections: the number served before the first 503."""
    socks = []
    try:
        socks = [connect() for _ in range(MAX_THREADS + 1)]
        select.select([socks[-1]], [], [], 10)
        time.sleep(0.2)
        refused = [sock for sock in socks if select.select([sock], [], [], 0)[0]]
        check(all(read_to_end(sock) == TOO_MANY for sock in refused), "a connection got other bytes than the 503 answer")
        return len(socks) - len(refused)
    finally:
        for sock in socks:
            sock.close()


def assert_healthy(agent, timeout=15):
    status, body = get_past_503("/getOsVersion")
    check(status == 200 and body, f"/getOsVersion answered {status} {body!r}")
    free = []
    wait_until(lambda: free.append(free_handlers()) or free[-1] == MAX_THREADS, timeout, 0.5)
    check(free[-1] == MAX_THREADS, f"not every handler came back (free {free[-1]} of {MAX_THREADS})")


def case_vanish(agent):
    """Connect-and-vanish cycles leave no thread or descriptor behind."""
    # Each handler the pool grows by costs one thread and a fixed number of descriptors. The
    # reference is the pool full of idle handlers, so that every later change is a trim.
    small = agent.settle()
    check(wait_until(lambda: free_handlers() == MAX_THREADS, 30, 1.0), "pool not free before the cycles")
    base = agent.settle()
    grown = base[0] - small[0]
    check(grown > 0 and base[1] - small[1] == grown and (base[2] - small[2]) % grown == 0,
          f"handlers/threads/fds went from {small} to {base}")
    per_handler_fds = (base[2] - small[2]) // grown

    kinds = [socket.socket.close, reset,
             lambda sock: (sock.sendall(b"GET /getOsVersion HTTP/1.1\r\nHo"), sock.close()),
             lambda sock: (sock.sendall(request_bytes("/")), reset(sock))]
    cycles = 1000 if SHORT else 30000 if LONG else 10000
    errors = []

    def worker(first):
        try:
            for index in range(first, cycles, 4):
                kinds[index % 4](connect())
        except OSError as error:
            errors.append(error)

    run_threads(worker)
    check(not errors, f"client errors: {errors[:3]}")

    def expected(handlers):
        trimmed = base[0] - handlers
        return handlers, base[1] - trimmed, base[2] - per_handler_fds * trimmed

    now = wait_until(lambda: (r := agent.resources()) == expected(r[0]) and r, 15, 0.2) or agent.resources()
    print(f"  {cycles} cycles; handlers/threads/fds {base} -> {now}")
    check(now[0] <= MAX_THREADS and now == expected(now[0]), f"expected {expected(now[0])}")


def case_slow_readers(agent):
    """Clients that stop reading mid-response keep neither the agent nor their handler."""
    def stalled(path, count=20):
        sock = connect(rcvbuf=2048, timeout=30)
        sock.sendall(request_bytes(path) * count)
        reader = Reader(sock)
        reader.file.peek()
        return reader

    readers = {path: stalled(path) for path in ["/getScreenShot", "/getLayoutXML"]}
    vanishing = stalled("/getScreenShot")
    try:
        for path in ["/getOsVersion", "/getScreenShot", "/getLayoutXML"] * 3:
            started = time.monotonic()
            status, body = get(path, timeout=10)
            check(status == 200 and body and time.monotonic() - started < 10, f"{path} answered {status} late")
        reset(vanishing.sock)
        # The stalled ones read on: every answer is whole.
        for path, reader in readers.items():
            for index in range(20):
                status, body = reader.response()
                check(status == 200 and re.fullmatch(rb"[A-Za-z0-9+/=]+,\d+,\d+|.*<root.*", body, re.S),
                      f"{path} answer {index} after the stall: {status} {body[:80]!r}")
        if LONG:
            stalled("/getScreenShot")
            check(wait_until(lambda: free_handlers() == MAX_THREADS, WRITE_STALL_S + 30, 1),
                  "a client that never reads keeps its handler")
    finally:
        for reader in readers.values():
            reader.sock.close()


def case_streams(agent):
    """Log streams next to an ordinary request, up to every handler, then a 503."""
    def open_stream():
        # A handler whose client left a moment ago may still be finishing: a 503 is tried again.
        for _ in range(50):
            sock = connect()
            sock.sendall(request_bytes("/SysLogger"))
            reader = Reader(sock)
            status, answer = reader.head()
            if status != 503:
                break
            sock.close()
            time.sleep(0.1)
        check(status == 200 and answer.getheader("content-type", "").startswith("text/event-stream"),
              f"/SysLogger answered {status} {answer.getheaders()}")
        return reader

    streams = []
    try:
        streams = [open_stream() for _ in range(90)]
        marker = f"load-test-line-{time.time_ns()}"
        with open(os.path.join(ROOT, "data/log/message"), "a") as log:
            log.write(marker + "\n")
        for stream in streams:
            seen = b""
            while f"data:{marker}\n\n".encode() not in seen:
                check(data := stream.file.read1(65536), "a stream ended")
                seen += data
        answer = get_past_503("/getOsVersion", timeout=10)
        check(answer[0] == 200 and answer[1], f"an ordinary request next to 90 streams: {answer}")
        streams += [open_stream() for _ in range(MAX_THREADS - 90)]
        with connect() as sock:
            check(read_to_end(sock) == TOO_MANY, "a request with 100 open streams was not refused with 503")
    except TimeoutError:
        raise Failure("a stream did not deliver the appended line")
    finally:
        for stream in streams:
            stream.sock.close()


def case_slowhttptest(agent):
    """slowhttptest in its three modes; afterwards the agent answers as before."""
    tool = shutil.which("slowhttptest")
    check(tool, "slowhttptest is not installed (scripts/setup installs it)")
    length = 4 if SHORT else 60 if LONG else 6
    base = f"http://127.0.0.1:{PORT}"
    for name, options in [("slow headers", ["-H", "-i", "1", "-u", f"{base}/getOsVersion"]),
                          ("slow body", ["-B", "-i", "1", "-s", "100000", "-u", f"{base}/upLoadFile"]),
                          ("slow read", ["-X", "-k", "4", "-n", "1", "-w", "1", "-y", "64", "-z", "32",
                                         "-u", f"{base}/main.js"])]:
        run = subprocess.run([tool, *options, "-c", "120", "-r", "120", "-l", str(length), "-p", "3"],
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=length + 60)
        check(run.returncode == 0, f"slowhttptest {name} ended with {run.returncode}:\n{run.stdout[-2000:]!r}")
        assert_healthy(agent, timeout=20)


def sim_pid():
    reply = subprocess.run(
        ["dbus-send", f"--bus={os.environ['DBUS_SYSTEM_BUS_ADDRESS']}", "--print-reply=literal",
         "--dest=org.freedesktop.DBus", "/", "org.freedesktop.DBus.GetConnectionUnixProcessID",
         "string:com.orvana.compositor"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=10)
    match = re.search(rb"uint32 (\d+)", reply.stdout)
    return int(match.group(1)) if reply.returncode == 0 and match else None


# The empty value each endpoint answers while the phone does not.
RESTART_ENDPOINTS = {
    "/getOsVersion": b"", "/getDisplayState": b"0", "/getScreenShot": b",0,0",
    "/getLayoutXML": b'<?xml version="1.0" encoding="UTF-8" ?><root createTime="" sopId="" uiAppId=""></root>',
    "/checkFileExist?filename=/": b"0", "/getVolume?type=2": b"0",
}
DBUS_TIMEOUT_S = 25  # Qt's D-Bus call timeout: no request may wait longer for a missing phone
started_sims = []


def case_sim_restart(agent):
    """orvana-sim killed and started again while requests run."""
    pid = sim_pid()
    check(pid, "cannot find orvana-sim on the system bus")
    answers, stop = [], threading.Event()

    def worker(index):
        paths = list(RESTART_ENDPOINTS)
        while not stop.is_set():
            path, begin = paths[index % len(paths)], time.monotonic()
            index += 1
            try:
                status, body = get(path, timeout=DBUS_TIMEOUT_S + 10)
            except ERRORS as error:
                status, body = None, str(error).encode()
            answers.append((path, begin, time.monotonic(), status, body))

    runner = threading.Thread(target=run_threads, args=(worker,))
    runner.start()
    try:
        time.sleep(1)
        os.kill(pid, signal.SIGKILL)
        check(wait_until(lambda: sim_pid() is None, 10), "orvana-sim still owns its name after SIGKILL")
        down = time.monotonic()
        time.sleep(2)
        up = time.monotonic()
        log = open(os.path.join(ROOT, "log", "orvana-sim-restarted.log"), "wb")
        started_sims.append(subprocess.Popen([shutil.which("orvana-sim")], stdout=log, stderr=subprocess.STDOUT))
        check(wait_until(lambda: sim_pid() == started_sims[-1].pid, 20), "the new orvana-sim did not register")
        time.sleep(1)
    finally:
        stop.set()
        runner.join()

    check(all(a[3] == 200 for a in answers), f"failed during the restart: {[a for a in answers if a[3] != 200][:3]}")
    slowest = max(a[2] - a[1] for a in answers)
    check(slowest < DBUS_TIMEOUT_S, f"a request took {slowest:.1f} s")
    outage = [a for a in answers if a[1] > down and a[2] < up]
    check(len(outage) >= len(RESTART_ENDPOINTS), f"only {len(outage)} requests while the phone was gone")
    wrong = [(a[0], a[4][:80]) for a in outage if a[4] != RESTART_ENDPOINTS[a[0]]]
    check(not wrong, f"answers while the phone was gone that are not the empty value: {wrong[:5]}")
    check(wait_until(lambda: get("/getScreenShot")[1] != b",0,0", 10, 0.2), "no screenshot after the restart")


# In this order: vanish measures the pool growing from its start, sim-restart replaces the phone.
CASES = {"vanish": case_vanish, "slow-readers": case_slow_readers, "streams": case_streams,
         "slowhttptest": case_slowhttptest, "sim-restart": case_sim_restart}


def main():
    asked = [arg for arg in sys.argv[1:] if not arg.startswith("--")]
    if unknown := set(asked) - set(CASES):
        print(f"unknown cases {unknown}; known: {list(CASES)}")
        return 2
    names = [name for name in CASES if name in asked or not asked]
    failed = 0
    agent = None
    try:
        agent = Agent()
        for name in names:
            begin = time.monotonic()
            print(f"{name}: {CASES[name].__doc__}", flush=True)
            try:
                CASES[name](agent)
                assert_healthy(agent)
                print(f"PASS {name} ({time.monotonic() - begin:.1f} s)", flush=True)
            except ERRORS as error:
                failed += 1
                print(f"FAIL {name}: {type(error).__name__}: {error}\n{agent.log_tail()}", flush=True)
                if agent.process.poll() is not None:
                    break
    except Failure as error:
        print(f"FAIL start: {error}")
        failed += 1
    finally:
        if agent:
            agent.stop()
        for sim in started_sims:
            sim.terminate()
            sim.wait(10)
    print(f"{len(names) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
