"""Files on the phone: upload and the file endpoints."""

import os

from .errors import AgentError


class Files:
    """File methods of Phone. Paths on the phone are absolute and used as given."""

    def push(self, local, remote, progress=None):
        """Uploads a local file (streamed, any size); a remote path ending in "/" keeps the name.

        progress(sent_bytes, total_bytes) is called as the upload goes on.
        """
        if remote.endswith("/"):
            remote += os.path.basename(local)
        body = self._conn.upload(local, remote, progress)
        if body.strip() != b"1":
            raise AgentError(f"POST /upLoadFile of {local} to {remote}: the phone answered "
                             f"{body[:40]!r} (target not writable?)")
        return remote

    def exists(self, path):
        """True if the file or folder exists."""
        return self._flag("/checkFileExist", {"filename": path})

    def rm(self, path, recursive=False):
        """Removes a file, or with recursive=True a folder and its content."""
        if recursive:
            self._checked("/dirRemove", {"dirname": path})
        else:
            self._checked("/fileRemove", {"filename": path})

    def mkdir(self, path):
        """Creates a folder and its missing parents."""
        self._checked("/mkdir", {"dirname": path})

    def mv(self, source, target):
        self._checked("/fileMove", {"source": source, "target": target})

    def cp(self, source, target, recursive=False):
        """Copies a file, or with recursive=True a folder."""
        self._checked("/dirCopy" if recursive else "/fileCopy", {"source": source, "target": target})

    def ls(self, path):
        """The names in a folder, sub-folders with a trailing "/"."""
        body = self._get("/dirList", {"dirname": path})
        if not body and not self.exists(path):
            raise AgentError(f"GET /dirList?dirname={path}: no such folder")
        return [line for line in body.decode("utf-8", "replace").split("\n") if line]
