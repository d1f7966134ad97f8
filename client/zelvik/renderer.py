"""The layout renderer library (libpanelcast), loaded with ctypes: a dump as HTML boxes."""

import ctypes
import os
import threading
from pathlib import Path

from .errors import ZelvikError

_lock = threading.Lock()  # go() is not re-entrant
_library = None


def _candidates():
    if os.environ.get("ZELVIK_PANELCAST"):
        yield Path(os.environ["ZELVIK_PANELCAST"])
    if os.environ.get("ZELVIK_BIN"):
        yield Path(os.environ["ZELVIK_BIN"]).parent / "lib" / "libpanelcast.so"
    tree = Path(__file__).resolve().parents[2]
    yield tree / "build" / "lib" / "libpanelcast.so"
    yield Path("libpanelcast.so")  # the loader's own search path


def library():
    """The loaded library; raises ZelvikError naming the places searched."""
    global _library
    if _library is None:
        tried = []
        for path in _candidates():
            try:
                lib = ctypes.CDLL(str(path))
            except OSError:
                tried.append(str(path))
                continue
            lib.go.restype = ctypes.c_char_p
            lib.go.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int, ctypes.c_int]
            _library = lib
            break
        else:
            raise ZelvikError("libpanelcast.so not found (set ZELVIK_PANELCAST); tried "
                              + ", ".join(tried))
    return _library


def to_html(xml, selected_id, width, height):
    """The HTML boxes of a dump for a screen of width x height, the item selected_id in red."""
    lib = library()
    with _lock:
        return lib.go(xml, (selected_id or "").encode(), width, height).decode("utf-8", "replace")
