"""Lazy element selectors over the layout dump, the elements they find, and watchers."""

import base64
import io
import re
import time

from .errors import ElementNotFound, Timeout
from .layout import bounds, on_screen, transform, typed

_CRITERIA = ("text", "text_contains", "text_matches", "class_name", "object_name", "xpath")


class Selector:
    """Describes elements of the layout dump; nothing is asked of the phone until it is used.

    Criteria: text (equal), text_contains, text_matches (a regular expression that must match
    the whole text), class_name (the item class, e.g. "QQuickText"), object_name, xpath (over
    the dump); visible=True keeps only items whose centre is on screen; index picks among the
    matches in document order.
    """

    def __init__(self, phone, visible=True, index=0, **criteria):
        unknown = set(criteria) - set(_CRITERIA)
        if unknown:
            raise TypeError(f"unknown selector criteria: {', '.join(sorted(unknown))}")
        self.phone, self.visible, self.index, self.criteria = phone, visible, index, criteria
        self._pattern = re.compile(criteria["text_matches"]) if "text_matches" in criteria else None

    def __repr__(self):
        args = [f"{k}={v!r}" for k, v in self.criteria.items()]
        if not self.visible:
            args.append("visible=False")
        if self.index:
            args.append(f"index={self.index}")
        return f"phone({', '.join(args)})"

    def _matches(self, node, layout):
        c = self.criteria
        text = node.get("text")
        if "text" in c and text != c["text"]:
            return False
        if "text_contains" in c and (text is None or c["text_contains"] not in text):
            return False
        if self._pattern is not None and (text is None or not self._pattern.fullmatch(text)):
            return False
        if "class_name" in c and node.tag != c["class_name"]:
            return False
        if "object_name" in c and node.get("objectName") != c["object_name"]:
            return False
        return not self.visible or on_screen(node, layout)

    def find_all(self, layout):
        """Every matching element of a parsed dump."""
        c = self.criteria
        if "xpath" in c:
            nodes = layout.root.xpath(c["xpath"])
        elif "text" in c:
            nodes = layout.root.xpath(".//*[@text=$t]", t=c["text"])
        elif "object_name" in c:
            nodes = layout.root.xpath(".//*[@objectName=$n]", n=c["object_name"])
        else:
            nodes = layout.items()
        return [Element(self.phone, n, layout) for n in nodes if self._matches(n, layout)]

    def find(self, layout):
        """The selected element of a dump, or None."""
        keys = set(self.criteria)
        if self.index == 0 and len(keys) == 1 and keys <= {"text", "object_name"}:
            key = keys.pop()
            node = layout.quick_find("text" if key == "text" else "objectName", self.criteria[key])
            if node is not False:  # the one candidate, or certainly none
                return Element(self.phone, node, layout) if node is not None \
                    and self._matches(node, layout) else None
        found = self.find_all(layout)
        return found[self.index] if self.index < len(found) else None

    def get(self, timeout=None):
        """The element, waiting up to timeout (default: the phone's implicit_wait).

        Raises ElementNotFound naming the selector and what was on screen instead.
        """
        timeout = self.phone.implicit_wait if timeout is None else timeout
        found, layout = self.phone._poll(self.find, timeout)
        if found is None:
            raise ElementNotFound(f"no element {self!r} within {timeout:g} s; "
                                  f"on screen: {layout.summary()}")
        return found

    @property
    def exists(self):
        """True if the element is in the current dump (one dump, no waiting)."""
        return self.phone._poll(self.find, 0)[0] is not None

    def wait(self, timeout=10.0):
        """Waits until the element appears and returns it; raises Timeout otherwise."""
        found, layout = self.phone._poll(self.find, timeout)
        if found is None:
            raise Timeout(f"waited {timeout:g} s for {self!r}; on screen instead: {layout.summary()}")
        return found

    def wait_gone(self, timeout=10.0):
        """Waits until the element is no longer in the dump; raises Timeout otherwise."""
        gone, layout = self.phone._poll(lambda lay: self.find(lay) is None or None, timeout)
        if gone is None:
            raise Timeout(f"waited {timeout:g} s for {self!r} to go; it is still there "
                          f"on screen: {layout.summary()}")

    # Element properties and actions find the element first (with the implicit wait).
    info = property(lambda self: self.get().info, doc="Every attribute of the dump, typed.")
    bounds = property(lambda self: self.get().bounds, doc="(left, top, right, bottom) on screen.")
    center = property(lambda self: self.get().center, doc="(x, y) of the item's centre.")
    text = property(lambda self: self.get().info.get("text"), doc="The item's text attribute.")

    # Finding the element already gave the watchers their turn.
    def click(self, timeout=None):
        """Taps the element's centre."""
        self.get(timeout).click(watch=False)

    def long_click(self, duration=1.0, timeout=None):
        """Holds the element's centre for duration seconds."""
        self.get(timeout).long_click(duration, watch=False)

    def set_text(self, text, timeout=None):
        """Focuses the element with a tap, removes its text and commits the new text."""
        self.get(timeout).set_text(text, watch=False)

    def screenshot(self, path=None, timeout=None):
        """The element's picture (see Element.screenshot)."""
        return self.get(timeout).screenshot(path)

    def children(self, timeout=None):
        return self.get(timeout).children()

    def parent(self, timeout=None):
        return self.get(timeout).parent()


class Element:
    """One item of a layout dump, as it was when the dump was taken."""

    def __init__(self, phone, node, layout):
        self.phone, self.node, self.layout = phone, node, layout

    def __repr__(self):
        i = self.info
        return (f"<{i['className']} text={i.get('text')!r} objectName={i.get('objectName')!r} "
                f"bounds={self.bounds}>")

    @property
    def info(self):
        """Every attribute of the dump element, typed, plus "className"."""
        return typed(self.node)

    @property
    def bounds(self):
        """The axis-aligned box (left, top, right, bottom) on screen."""
        return bounds(self.node)

    @property
    def center(self):
        """The item's true centre in screen coordinates, rotation and scale included."""
        return (round(float(self.node.get("centerXToGlobal", 0))),
                round(float(self.node.get("centerYToGlobal", 0))))

    def click(self, watch=True):
        """Taps the centre (after the watchers had their turn, unless watch=False)."""
        if watch:
            self.phone._before_action()
        self.phone.click(*self.center)

    def long_click(self, duration=1.0, watch=True):
        if watch:
            self.phone._before_action()
        self.phone.long_click(*self.center, duration=duration)

    def set_text(self, text, watch=True):
        """Taps to focus, removes the text the dump showed, commits the new text in one piece."""
        if watch:
            self.phone._before_action()
        self.phone.click(*self.center)
        old = self.node.get("text") or ""
        if old:
            self.phone.press_key(0x01000011)  # End
            for _ in old:
                self.phone.press_key(0x01000003)  # Backspace
        self.phone.send_text(text)

    def screenshot(self, path=None):
        """The item's picture through "/grabImage": its rotation and scale undone."""
        rotation, scale = transform(self.node)
        x, y = self.center
        params = {"x": x, "y": y, "w": self.node.get("width", "0"), "h": self.node.get("height", "0"),
                  "r": round(rotation), "s": scale}
        body = self.phone._get("/grabImage", params)
        if not body:
            self.phone._raise_empty("/grabImage", params, "an empty picture")
        from PIL import Image
        image = Image.open(io.BytesIO(base64.b64decode(body)))
        if path:
            image.save(path)
        return image

    def children(self):
        """The direct child items."""
        node = self.layout.full(self.node)
        return [Element(self.phone, n, self.layout) for n in node if n.get("tempID")]

    def parent(self):
        """The parent item, or None at the top."""
        p = self.layout.full(self.node).getparent()
        return Element(self.phone, p, self.layout) if p is not None and p.get("tempID") else None


class Watcher:
    """Taps or handles something whenever it shows: see Phone.watch."""

    def __init__(self, name, when, then):
        self.name, self.when, self.then, self.fired = name, when, then, 0

    def __repr__(self):
        return f"<Watcher {self.name!r} when {self.when!r}, fired {self.fired}>"


def backoff(start=0.05, factor=1.5, limit=0.5):
    """Poll intervals: short at first, then longer, never past the limit."""
    delay = start
    while True:
        yield delay
        delay = min(delay * factor, limit)


def sleep_until(deadline, delay):
    time.sleep(max(0.0, min(delay, deadline - time.monotonic())))
