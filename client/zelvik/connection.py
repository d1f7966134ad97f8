"""One keep-alive HTTP connection to the agent."""

import http.client
import os
import select
import socket
import urllib.parse
import uuid

from .errors import AgentError

# Errors that mean the kept-alive connection was closed by the other side.
_DROPPED = (http.client.RemoteDisconnected, http.client.BadStatusLine, ConnectionResetError,
            BrokenPipeError, ConnectionAbortedError)


def describe(path, params=None):
    """The request as it appears in error messages: "GET /path?query"."""
    query = urllib.parse.urlencode(params or {}, safe="/|")
    return path + ("?" + query if query else "")


class Connection:
    """A keep-alive HTTP connection to one agent, used from one thread.

    A connection that the agent closed while it was idle is noticed before a request is sent and
    opened again; an idempotent request whose connection drops mid-way is sent once more.
    """

    def __init__(self, host, port, timeout):
        self.host, self.port, self.timeout = host, port, timeout
        self._conn = None

    def close(self):
        """Closes the connection; the next request opens a new one."""
        if self._conn is not None:
            self._conn.close()
            self._conn = None

    def _connection(self):
        if self._conn is not None and self._conn.sock is not None:
            # Readable while idle means the agent closed it (or sent something unasked).
            if select.select([self._conn.sock], [], [], 0)[0]:
                self.close()
        if self._conn is None:
            self._conn = http.client.HTTPConnection(self.host, self.port, timeout=self.timeout)
        return self._conn

    def _fail(self, what, reason):
        self.close()
        return AgentError(f"{what} to {self.host}:{self.port} failed: {reason}")

    def request(self, path, params=None, idempotent=True, timeout=None):
        """Sends a GET request and returns the body as bytes.

        Raises AgentError when the agent is unreachable, times out or answers other than 200.
        """
        target = describe(path, params)
        what = "GET " + target
        for attempt in (0, 1):
            conn = self._connection()
            fresh = conn.sock is None
            try:
                if fresh:
                    conn.connect()
                conn.sock.settimeout(timeout or self.timeout)
                conn.request("GET", urllib.parse.quote(path) + target[len(path):])
                resp = conn.getresponse()
                body = resp.read()
            except _DROPPED as e:
                self.close()
                if attempt == 0 and not fresh and idempotent:
                    continue
                raise self._fail(what, f"connection dropped ({e.__class__.__name__})") from None
            except socket.timeout:
                raise self._fail(what, f"no answer within {timeout or self.timeout:g} s") from None
            except OSError as e:
                raise self._fail(what, e.strerror or str(e)) from None
            finally:
                if self._conn is not None and self._conn.sock is not None:
                    self._conn.sock.settimeout(self.timeout)
            if resp.status != 200:
                raise AgentError(f"{what} to {self.host}:{self.port}: HTTP {resp.status} "
                                 f"{body[:200].decode('latin-1').strip()}")
            if resp.will_close:
                self.close()
            return body

    def upload(self, local, remote, progress=None, block=4 << 20):
        """POSTs the local file to "/upLoadFile" as a multipart body streamed from disk.

        progress(sent, total) is called after every block. Returns the answer's body.
        """
        what = f"POST /upLoadFile of {local} to {remote}"
        boundary = "zelvik" + uuid.uuid4().hex
        name = os.path.basename(local).replace('"', "_")
        head = (f"--{boundary}\r\nContent-Disposition: form-data; name=\"file\"; "
                f"filename=\"{name}\"\r\nContent-Type: application/octet-stream\r\n\r\n").encode()
        tail = f"\r\n--{boundary}--\r\n".encode()
        try:
            f = open(local, "rb")
        except OSError as e:
            raise AgentError(f"{what}: {e.strerror}") from None
        with f:
            size = os.fstat(f.fileno()).st_size
            conn = self._connection()
            try:
                if conn.sock is None:
                    conn.connect()
                conn.putrequest("POST", "/upLoadFile", skip_accept_encoding=True)
                conn.putheader("FileName", remote.encode("utf-8"))
                conn.putheader("Content-Type", f"multipart/form-data; boundary={boundary}")
                conn.putheader("Content-Length", str(len(head) + size + len(tail)))
                conn.endheaders(head)
                sent = 0
                while sent < size:
                    n = conn.sock.sendfile(f, sent, min(block, size - sent))
                    if n == 0:
                        raise AgentError(f"{what}: {local} shrank while it was sent")
                    sent += n
                    if progress:
                        progress(sent, size)
                conn.send(tail)
                resp = conn.getresponse()
                body = resp.read()
            except socket.timeout:
                raise self._fail(what, f"no answer within {self.timeout:g} s") from None
            except OSError as e:
                raise self._fail(what, e.strerror or str(e)) from None
            except http.client.HTTPException as e:
                raise self._fail(what, e.__class__.__name__) from None
        if resp.status != 200:
            raise AgentError(f"{what}: HTTP {resp.status}")
        if resp.will_close:
            self.close()
        return body
