"""The layout dump: parsing, typed attributes, on-screen geometry and a summary for messages."""

import math
import re

from lxml import etree

from .errors import AgentError

_BOOLS = {"visible", "clip", "enabled", "focus", "activeFocus", "hasContents"}
_NUMBERS = {"width", "height", "x", "y", "z", "centerXToGlobal", "centerYToGlobal",
            "centerXToItem", "centerYToItem", "opacity", "scale", "rotation"}


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


# A start, end or empty-element tag (the dump escapes ">" in attribute values).
_TAG = re.compile(rb'<(/?)([^\s>/?!]+)[^>]*>')
_PLAIN = re.compile(r'[^&<>"\s]+( [^&<>"\s]+)*')  # text written unescaped in the dump


class Layout:
    """One layout dump of the top application, parsed when first needed."""

    def __init__(self, xml):
        self.xml = xml
        self._root = None
        start = xml.find(b"<root")
        head = self.chain(_TAG.match(xml, start)) if start >= 0 else None
        after = _TAG.search(xml, start + 1) if head is not None else None
        if after is not None and not after.group(1):
            head = self.chain(after)
        if head is None or head.tag != "root":
            raise AgentError(f"GET /getLayoutXML: not a layout document: {xml[:80]!r}")
        self.sopid = head.get("sopId", "")
        self.uiappid = head.get("uiAppId", "")
        self.window = head[0] if len(head) else None
        self.size = (int(_number(self.window.get("width", "0"))),
                     int(_number(self.window.get("height", "0")))) if self.window is not None else (0, 0)

    @property
    def root(self):
        """The whole document's root element."""
        if self._root is None:
            try:
                self._root = etree.fromstring(self.xml)
            except etree.XMLSyntaxError as e:
                raise AgentError(f"GET /getLayoutXML: the answer is not XML ({e})") from None
        return self._root

    def chain(self, tag):
        """The root of a small tree holding only the elements from the document's root down to
        the element whose start tag is the match `tag` (no siblings, no children)."""
        if tag is None or tag.group(1):
            return None
        stack = []
        for m in _TAG.finditer(self.xml, self.xml.find(b"<root"), tag.start()):
            if m.group(1):
                stack and stack.pop()
            elif not m.group(0).endswith(b"/>"):
                stack.append(m)
        last = tag.group(0) if tag.group(0).endswith(b"/>") else tag.group(0)[:-1] + b"/>"
        text = b"".join(m.group(0) for m in stack) + last + \
            b"".join(b"</" + m.group(2) + b">" for m in reversed(stack))
        try:
            return etree.fromstring(text)
        except etree.XMLSyntaxError:
            return None

    def quick_find(self, key, value):
        """The one element whose attribute key is value, found without parsing the whole dump:
        (node in a chain tree) if exactly one, None if none; False when it can't tell."""
        if not _PLAIN.fullmatch(value):
            return False
        needle = f' {key}="{value}"'.encode()
        at = self.xml.find(needle)
        if at < 0:
            return None
        if self.xml.find(needle, at + 1) >= 0:
            return False
        top = self.chain(_TAG.match(self.xml, self.xml.rfind(b"<", 0, at)))
        while top is not None and len(top):
            top = top[0]
        return top if top is not None and top.get(key) == value else False

    def full(self, node):
        """The element of the whole document for a node of a chain tree."""
        if node.getroottree().getroot() is self.root:
            return node
        found = self.root.xpath(".//*[@tempID=$t]", t=node.get("tempID", ""))
        return found[0] if found else node

    @property
    def empty(self):
        """True for the agent's fixed empty document (no application answered)."""
        return self.window is None

    def items(self):
        """Every item element, in document order."""
        return self.root.iterfind(".//*[@tempID]")

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
