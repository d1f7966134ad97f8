"""pytest plugin: the `phone` fixture, failure artifacts and one phone per xdist worker.

Load it with `-p zelvik.pytest_plugin` (or `pytest_plugins = ["zelvik.pytest_plugin"]`).
"""

import os
import re
from pathlib import Path

import pytest

from . import connect
from .errors import ZelvikError

_ARTIFACTS = pytest.StashKey()


def pytest_addoption(parser):
    group = parser.getgroup("zelvik")
    group.addoption("--phone", action="append", default=[], metavar="HOST[:PORT]",
                    help="a phone to run on (repeatable: one per xdist worker); default "
                         "$ZELVIK_HOST or 127.0.0.1, port 10008")
    group.addoption("--zelvik-artifacts", metavar="DIR",
                    help="where failing tests leave screenshot, dump and HTML boxes "
                         "(default: zelvik-artifacts under pytest's temporary folder)")


def phones(config):
    """The phone addresses given, as (host, port) pairs."""
    given = config.getoption("phone") or [os.environ.get("ZELVIK_HOST", "127.0.0.1")]
    result = []
    for text in given:
        host, _, port = text.rpartition(":") if ":" in text else (text, "", "10008")
        result.append((host, int(port)))
    return result


def pytest_configure(config):
    workers = getattr(config.option, "numprocesses", None)
    if isinstance(workers, int) and workers > len(phones(config)):
        raise pytest.UsageError(
            f"zelvik: {workers} workers (-n {workers}) but {len(phones(config))} phone(s) given "
            f"with --phone: each worker needs a phone of its own")


@pytest.fixture(scope="session")
def zelvik_phone(pytestconfig, tmp_path_factory):
    """The session's phone: the worker's own with xdist (worker gwN takes the N-th --phone)."""
    workerinput = getattr(pytestconfig, "workerinput", None)
    index = int(workerinput["workerid"][2:]) if workerinput else 0
    host, port = phones(pytestconfig)[index]
    folder = pytestconfig.getoption("zelvik_artifacts")
    pytestconfig.stash[_ARTIFACTS] = Path(folder) if folder else \
        tmp_path_factory.getbasetemp() / "zelvik-artifacts"
    phone = connect(host, port)
    yield phone
    phone.close()


@pytest.fixture
def phone(zelvik_phone, request, record_property):
    """A connected Phone; watchers added by a test are removed after it."""
    record_property("phone", f"{zelvik_phone.host}:{zelvik_phone.port}")
    request.node.stash[_ARTIFACTS] = zelvik_phone
    yield zelvik_phone
    zelvik_phone.unwatch()


def write_artifacts(phone, folder, name):
    """Writes screenshot, dump and HTML boxes of this moment; returns (what, path or error)."""
    folder.mkdir(parents=True, exist_ok=True)
    base = folder / re.sub(r"[^A-Za-z0-9_.-]+", "_", name).strip("_")
    written = []

    def attempt(what, suffix, make):
        path = base.with_name(base.name + suffix)
        try:
            make(path)
            written.append((what, str(path)))
        except (ZelvikError, OSError) as e:
            written.append((what, f"not written: {e}"))

    attempt("screenshot", ".png", phone.screenshot)
    attempt("layout dump", ".xml", lambda p: p.write_bytes(phone.dump_xml()))
    attempt("layout boxes", ".html", lambda p: p.write_text(phone.layout_html(), encoding="utf-8"))
    return written


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    outcome = yield
    report = outcome.get_result()
    phone = item.stash.get(_ARTIFACTS, None)
    if report.failed and phone is not None and report.when in ("call", "setup"):
        written = write_artifacts(phone, item.config.stash[_ARTIFACTS], item.nodeid)
        report.sections.append(("zelvik artifacts", "\n".join(f"{w}: {p}" for w, p in written)))
