"""The client's own behaviour against the real agent: errors and their messages, watchers,
failure artifacts, the fleet guard, the command line and the README example."""

import http.server
import os
import re
import shlex
import socket
import subprocess
import sys
import threading
from pathlib import Path

import pytest
import zelvik
from lxml import etree
from PIL import Image

ROOT = Path(__file__).resolve().parents[2]
FORM = ("com.orvana.demo.form", "form")


def test_agent_down_or_silent_gives_agent_error():
    with socket.socket() as silent:  # accepts (backlog) but never answers
        silent.bind(("127.0.0.1", 0))
        silent.listen()
        with socket.socket() as free:
            free.bind(("127.0.0.1", 0))
            down = free.getsockname()[1]
        for port, reason in ((down, "Connection refused"), (silent.getsockname()[1], "no answer within 0.5 s")):
            with pytest.raises(zelvik.AgentError, match=f"GET /getOsVersion to 127.0.0.1:{port} failed: {reason}"):
                zelvik.connect(port=port, timeout=0.5).os_version


def test_connection_closed_by_the_agent_is_opened_again():
    closed = threading.Semaphore(0)

    class OneAnswerPerConnection(http.server.BaseHTTPRequestHandler):
        def do_GET(self):  # a keep-alive answer; the server closes the connection anyway
            self.wfile.write(b"HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n1")

    class Server(http.server.ThreadingHTTPServer):
        def shutdown_request(self, request):
            super().shutdown_request(request)
            closed.release()

    server = Server(("127.0.0.1", 0), OneAnswerPerConnection)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    phone = zelvik.connect(port=server.server_address[1], timeout=5)
    try:
        assert phone.locked
        for action in (lambda: phone.locked, lambda: phone.click(1, 2)):  # a click is sent once only
            assert closed.acquire(timeout=5)  # as an agent closes an idle connection
            action()
    finally:
        server.shutdown()


def test_missing_elements_and_timeouts_name_the_selector_and_the_screen(phone):
    phone.app_start(*FORM)
    on_screen = r"com.orvana.demo.form/form, \d+ items, texts on screen: 'Form', 'OK'"
    with pytest.raises(zelvik.ElementNotFound, match=r"no element phone\(text='Nope'\) within 0.2 s; on screen: " + on_screen):
        phone(text="Nope").click(timeout=0.2)
    with pytest.raises(zelvik.Timeout, match=r"waited 0.2 s for phone\(class_name='QQuickFlickable'\); on screen instead: " + on_screen):
        phone(class_name="QQuickFlickable").wait(0.2)
    with pytest.raises(zelvik.Timeout, match=r"waited 0.2 s for phone\(text='OK'\) to go; it is still there"):
        phone(text="OK").wait_gone(0.2)
    phone.app_stop(*FORM)


def test_quick_text_search_agrees_with_the_parsed_dump(phone):
    phone.app_start("com.orvana.demo.list", "list")  # rows inside and outside a clipping list
    layout = zelvik.Layout(phone.dump_xml())
    texts = {n.get("text") for n in layout.items() if n.get("text")} | {"Item 99", "no such text"}
    for text in texts:
        quick, full = phone(text=text).find(layout), (phone(text=text).find_all(layout) or [None])[0]
        assert (quick and quick.info) == (full and full.info), text
    phone.app_stop("com.orvana.demo.list", "list")


def test_watcher_fires_while_waiting_in_the_callers_thread(phone):
    phone.app_start(*FORM)
    ok = phone.watch("press OK", when=phone(text="OK"))  # taps OK whenever it shows
    phone(text_matches="clicks: [1-9]").wait(10)
    phone.unwatch("press OK")
    assert ok.fired >= 1 and list(phone.watchers) == []
    phone(text=f"clicks: {ok.fired}").wait(10)  # one tap per firing, none after unwatch
    phone.app_stop(*FORM)


def test_failing_test_leaves_named_artifacts(pytester, tmp_path):
    pytester.makepyfile("def test_fails(phone):\n    assert phone(text='Nope').exists\n")
    result = pytester.runpytest("-p", "zelvik.pytest_plugin", "--zelvik-artifacts", str(tmp_path))
    result.assert_outcomes(failed=1)
    named = dict(re.findall(r"^(screenshot|layout dump|layout boxes): (/\S+)$", result.stdout.str(), re.M))
    assert sorted(named) == ["layout boxes", "layout dump", "screenshot"]
    assert all(Path(p).parent == tmp_path and "test_fails" in p for p in named.values())
    assert Image.open(named["screenshot"]).size == (720, 1280)
    assert etree.parse(named["layout dump"]).getroot().tag == "root"
    assert "position" in Path(named["layout boxes"]).read_text()


def test_more_workers_than_phones_stops_at_once(pytester):
    pytester.makepyfile("def test_never_runs(phone):\n    pass\n")
    result = pytester.runpytest_subprocess("-p", "zelvik.pytest_plugin", "-n", "2", "--phone", "127.0.0.1")
    assert result.ret == pytest.ExitCode.USAGE_ERROR
    result.stderr.fnmatch_lines(["*2 workers (-n 2) but 1 phone(s) given with --phone*"])


def zelvik_command(*args, tty=False):
    """Runs the command line; with tty=True its output is a terminal."""
    command = [sys.executable, "-m", "zelvik", *args]
    if tty:
        command = ["script", "-qec", shlex.join(command), "/dev/null"]
    done = subprocess.run(command, capture_output=True, text=True, env=dict(os.environ, PYTHONPATH=str(ROOT / "client")),
                          stdin=subprocess.DEVNULL, timeout=60)
    return done.returncode, done.stdout, done.stderr


def test_command_line(tmp_path):
    big = tmp_path / "big.bin"
    big.write_bytes(os.urandom(12 << 20))
    assert zelvik_command("push", str(big), str(tmp_path / "a.bin")) == (0, "", "")
    status, out, _ = zelvik_command("push", str(big), str(tmp_path / "b.bin"), tty=True)
    assert status == 0 and re.search(r"12\.0/12\.0 MiB .* MiB/s .* s left", out)
    assert (tmp_path / "b.bin").read_bytes() == big.read_bytes()
    status, out, _ = zelvik_command("find", "text=Orvana")
    assert status == 0 and out.startswith("<QQuickText text='Orvana' objectName='homeTitle'")
    assert zelvik_command("--port", "1", "find", "Nope") == (
        1, "", "zelvik: GET /getLayoutXML to 127.0.0.1:1 failed: Connection refused\n")


def test_readme_example_runs_as_written(tmp_path):
    section = (ROOT / "README.md").read_text().split("## Writing a test")[1].split("\n## ")[0]
    blocks = re.findall(r"((?:\n    .*|\n)+)", section)
    code, command = [b.strip("\n") for b in blocks if b.strip()][:2]
    (tmp_path / "client").symlink_to(ROOT / "client")
    (tmp_path / "test_first.py").write_text(re.sub(r"^    ", "", code, flags=re.M).split("\n", 1)[1])
    env = dict(os.environ, PATH="/usr/bin:" + os.environ["PATH"])
    done = subprocess.run(command.strip(), shell=True, cwd=tmp_path, env=env, capture_output=True, text=True)
    assert done.returncode == 0, done.stdout + done.stderr
