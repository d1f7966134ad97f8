"""The layout dump: parsing, typed attributes, on-screen geometry and a summary for messages."""

import math

from lxml import etree

from .errors import AgentError

_BOOLS = {"visible", "clip", "enabled", "focus", "activeFocus", "hasContents"}
_NUMBERS = {"width", "height", "x", "y", "z", "centerXToGlobal", "centerYToGlobal",
            "centerXToItem", "centerYToItem", "opacity", "scale", "rotation"}
# The two container levels above the items: the window and its content item.
_WINDOW_DEPTH = 1


def _number(text):
    try:
        value = float(text)
    except ValueError:
        return text
    return int(value) if value.is_integer() and "." not in text else value


def typed(node):
    """Every attribute of a dump element, booleans and numbers converted, plus its class name."""
    info = {"className": node.tag}
    for key, value in node.attrib.items():
        if key in _BOOLS:
            info[key] = value in ("1", "true")
        elif key in _NUMBERS:
            info[key] = _number(value)
        else:
            info[key] = value
    return info


class Layout:
    """One parsed layout dump of the top application."""

    def __init__(self, xml):
        self.xml = xml
        try:
            self.root = etree.fromstring(xml)
        except etree.XMLSyntaxError as e:
            raise AgentError(f"GET /getLayoutXML: the answer is not XML ({e})") from None
        self.sopid = self.root.get("sopId", "")
        self.uiappid = self.root.get("uiAppId", "")
        window = self.root[0] if len(self.root) else None
        self.window = window
        self.size = (int(_number(window.get("width", "0"))), int(_number(window.get("height", "0")))) \
            if window is not None else (0, 0)

    @property
    def empty(self):
        """True for the agent's fixed empty document (no application answered)."""
        return self.window is None

    def items(self):
        """Every item element, in document order."""
        return self.root.iterfind(".//*[@tempID]")

    def find_temp_id(self, temp_id):
        found = self.root.xpath(".//*[@tempID=$t]", t=temp_id)
        return found[0] if found else None

    def summary(self, limit=12):
        """A short description of what is on screen, for error messages."""
        if self.empty:
            return "nothing (the agent's empty layout document)"
        texts = [t for t in (n.get("text") for n in self.items() if on_screen(n, self)) if t]
        shown = ", ".join(repr(t) for t in texts[:limit]) + (", ..." if len(texts) > limit else "")
        count = sum(1 for _ in self.items())
        return f"{self.sopid}/{self.uiappid}, {count} items, texts on screen: {shown or 'none'}"


def _num(node, key, default=0.0):
    try:
        return float(node.get(key, default))
    except ValueError:
        return default


def transform(node):
    """The item's rotation and scale as the scene sees them (its own and its ancestors')."""
    rotation, scale = 0.0, 1.0
    while node is not None and node.get("tempID") is not None:
        rotation += _num(node, "rotation")
        scale *= _num(node, "scale", 1.0)
        node = node.getparent()
    return rotation, scale


def bounds(node):
    """The axis-aligned box (left, top, right, bottom) of the item on screen."""
    cx, cy = _num(node, "centerXToGlobal"), _num(node, "centerYToGlobal")
    rotation, scale = transform(node)
    w, h = _num(node, "width") * scale, _num(node, "height") * scale
    a = math.radians(rotation)
    bw = abs(w * math.cos(a)) + abs(h * math.sin(a))
    bh = abs(w * math.sin(a)) + abs(h * math.cos(a))
    return (round(cx - bw / 2), round(cy - bh / 2), round(cx + bw / 2), round(cy + bh / 2))


def on_screen(node, layout):
    """Visible, not transparent, and its centre inside the window and every clipping ancestor."""
    cx, cy = _num(node, "centerXToGlobal"), _num(node, "centerYToGlobal")
    w, h = layout.size
    if not (0 <= cx < w and 0 <= cy < h):
        return False
    first = True
    while node is not None and node.get("tempID") is not None:
        if node.get("visible") == "0" or node.get("opacity") in ("0", "0.0"):
            return False
        if not first and node.get("clip") == "1":
            left, top, right, bottom = bounds(node)
            if not (left <= cx < right and top <= cy < bottom):
                return False
        first = False
        node = node.getparent()
    return True
