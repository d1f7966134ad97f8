"""The phone's live system log."""

import http.client
import socket

from .errors import AgentError


class LogStream:
    """Iterator over the system log lines appended after it was opened.

    Opened at once (so no line written after the call is missed); ends when closed, when the
    iteration is left (break, or leaving a with block), or when no line came for `idle` seconds.
    """

    def __init__(self, host, port, idle=None, timeout=10.0):
        self.idle = idle
        self._conn = http.client.HTTPConnection(host, port, timeout=timeout)
        try:
            self._conn.request("GET", "/SysLogger")
            self._resp = self._conn.getresponse()
        except OSError as e:
            self._conn.close()
            raise AgentError(f"GET /SysLogger to {host}:{port} failed: {e.strerror or e}") from None
        if self._resp.status != 200:
            self._conn.close()
            raise AgentError(f"GET /SysLogger to {host}:{port}: HTTP {self._resp.status}")
        self._conn.sock.settimeout(idle)

    def __iter__(self):
        return self

    def __next__(self):
        if self._resp is None:
            raise StopIteration
        while True:
            try:
                line = self._resp.readline()
            except (socket.timeout, OSError, http.client.HTTPException, ValueError):
                line = b""
            if not line:
                self.close()
                raise StopIteration
            if line.startswith(b"data:"):
                return line[5:].rstrip(b"\r\n").decode("latin-1")

    def close(self):
        """Ends the stream and frees the agent's thread that serves it."""
        if getattr(self, "_resp", None) is not None:
            self._resp = None
            self._conn.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    __del__ = close
