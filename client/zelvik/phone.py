"""A connected phone: screen, layout dump, waiting and watchers, plus the methods of the
input, apps, files and device modules."""

import base64
import io
import time

from .apps import Apps
from .connection import Connection, describe
from .device import Device
from .errors import AgentError, Timeout
from .files import Files
from .input import Input
from .layout import Layout
from .logs import LogStream
from .renderer import to_html
from .selectors import Element, Selector, Watcher, backoff, sleep_until


def connect(host="127.0.0.1", port=10008, timeout=30.0, ssh_port=10009):
    """Returns a Phone for the agent at host:port.

    timeout bounds every request (seconds). Nothing is sent until the first call.
    """
    return Phone(host, port, timeout, ssh_port)


class Phone(Input, Apps, Files, Device):
    """A phone driven through its agent. Use from one thread.

    phone(text="OK") is a Selector; see the input, apps, files and device modules for the rest.
    """

    implicit_wait = 5.0
    """Seconds an element action waits for its element before ElementNotFound."""

    def __init__(self, host, port, timeout=30.0, ssh_port=10009):
        self.host, self.port, self.timeout = host, port, timeout
        self.ssh_port = ssh_port
        """Port of the relay to the phone's SSH server (ssh -p ssh_port user@host)."""
        self._conn = Connection(host, port, timeout)
        self.watchers = {}
        """Watchers by name, in the order they are checked."""
        self._watching = False

    def __repr__(self):
        return f"<Phone {self.host}:{self.port}>"

    def __call__(self, **criteria):
        """A lazy selector: see Selector for the criteria."""
        return Selector(self, **criteria)

    def close(self):
        self._conn.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    # Requests and answer conversions shared by the modules.
    def _get(self, path, params=None, idempotent=True, timeout=None):
        return self._conn.request(path, params, idempotent, timeout)

    def _act(self, path, params=None):
        self._conn.request(path, params, idempotent=False)

    def _text(self, path, params=None, utf8=False):
        return self._get(path, params).decode("utf-8" if utf8 else "latin-1")

    def _int(self, path, params=None):
        body = self._get(path, params)
        try:
            return int(body)
        except ValueError:
            raise AgentError(f"GET {describe(path, params)}: expected a number, got {body[:40]!r}") from None

    def _flag(self, path, params=None):
        return self._int(path, params) != 0

    def _checked(self, path, params, quiet=False):
        """An action that answers "1" on success; "0" raises AgentError."""
        body = self._conn.request(path, params, idempotent=False)
        if body.strip() != b"1" and not quiet:
            raise AgentError(f"GET {describe(path, params)}: the phone answered {body[:40]!r} (failed)")

    def _raise_empty(self, path, params, what):
        raise AgentError(f"GET {describe(path, params)}: {what} (no screen or application answered)")

    # Screen and layout.
    def screenshot(self, path=None):
        """The screen as a Pillow image; with a path, also written there as PNG."""
        from PIL import Image
        body = self._get("/getScreenShot")
        data = body.rsplit(b",", 2)[0]
        if not data:
            self._raise_empty("/getScreenShot", None, "an empty screenshot")
        png = base64.b64decode(data)
        if path:
            with open(path, "wb") as f:
                f.write(png)
        return Image.open(io.BytesIO(png))

    def dump_xml(self):
        """The layout dump's XML text as the agent sends it."""
        return self._get("/getLayoutXML")

    def dump(self):
        """The parsed layout dump (a Layout); raises AgentError for the empty document."""
        layout = Layout(self.dump_xml())
        if layout.empty:
            self._raise_empty("/getLayoutXML", None, "the empty layout document")
        return layout

    def wait_stable(self, timeout=10.0):
        """Waits until two dumps in a row are the same (a flick or an animation has ended)."""
        last = [None]

        def same(layout):
            items = layout.xml[layout.xml.find(b"<root"):].partition(b">")[2]  # after createTime
            settled, last[0] = items == last[0], items
            return True if settled else None

        if self._poll(same, timeout)[0] is None:
            raise Timeout(f"the screen kept changing for {timeout:g} s")

    def layout_html(self, selected=None, layout=None):
        """The current dump as HTML boxes (the layout renderer); selected (an Element or a
        tempID) is drawn in red."""
        layout = layout or self.dump()
        if isinstance(selected, Element):
            selected = selected.node.get("tempID")
        return to_html(layout.xml, selected, *layout.size)

    def logs(self, follow=True, idle=1.0):
        """The system log lines appended from now on, as an iterator (a LogStream).

        follow=True goes on until the caller stops (break, close()); follow=False ends once no
        line came for idle seconds.
        """
        return LogStream(self.host, self.port, None if follow else idle, self.timeout)

    # Watchers.
    def watch(self, name, when, then=None):
        """Registers a watcher: whenever the `when` selector finds its element, call
        then(element) (default: tap it).

        Watchers are checked, in the order they were registered, on every poll of a wait and
        before every element action, in the caller's thread; each fires at most once per check.
        """
        self.watchers[name] = Watcher(name, when, then or (lambda element: element.click()))
        return self.watchers[name]

    def unwatch(self, name=None):
        """Removes one watcher, or all of them."""
        if name is None:
            self.watchers.clear()
        else:
            self.watchers.pop(name, None)

    def _run_watchers(self, layout):
        """Fires the watchers whose element the dump shows; returns True if one fired."""
        if self._watching or not self.watchers:
            return False
        fired = False
        self._watching = True
        try:
            for watcher in list(self.watchers.values()):
                element = watcher.when.find(layout)
                if element is not None:
                    watcher.fired += 1
                    watcher.then(element)
                    fired = True
        finally:
            self._watching = False
        return fired

    def _snapshot(self):
        """A dump after the watchers had their turn (a new one if any fired)."""
        layout = Layout(self.dump_xml())
        if self._run_watchers(layout):
            layout = Layout(self.dump_xml())
        return layout

    def _before_action(self):
        if self.watchers and not self._watching:
            self._run_watchers(Layout(self.dump_xml()))

    def _poll(self, check, timeout):
        """Dumps until check(layout) is not None or timeout passes; returns (result, last layout).

        Polls back off from 50 ms to 500 ms; one dump at a time.
        """
        deadline = time.monotonic() + timeout
        for delay in backoff():
            layout = self._snapshot()
            result = check(layout)
            if result is not None or time.monotonic() >= deadline:
                return result, layout
            sleep_until(deadline, delay)
