"""The command line: python3 -m zelvik COMMAND (or zelvik COMMAND)."""

import argparse
import os
import sys
import time

from . import connect
from .errors import ZelvikError


def _selector(phone, words):
    """"key=value" words (text=OK, class_name=QQuickText, ...); a bare word is a text."""
    criteria = {}
    for word in words:
        key, eq, value = word.partition("=")
        if eq and key in ("text", "text_contains", "text_matches", "class_name", "object_name", "xpath"):
            criteria[key] = value
        else:
            criteria["text"] = word
    return phone(**criteria)


class Progress:
    """Bytes, rate and time left of a push, on one rewritten terminal line."""

    def __init__(self, out):
        self.out, self.start = out, time.monotonic()

    def __call__(self, sent, total):
        elapsed = max(time.monotonic() - self.start, 1e-6)
        rate = sent / elapsed
        left = (total - sent) / rate if rate else 0
        self.out.write(f"\r{sent / 2**20:.1f}/{total / 2**20:.1f} MiB  {rate / 2**20:.1f} MiB/s  "
                       f"{left:.0f} s left ")
        if sent >= total:
            self.out.write("\n")
        self.out.flush()


def _info(phone):
    app = phone.current_app()
    rows = [("os", phone.os_version), ("serial", phone.serial_number),
            ("window", "%dx%d" % phone.window_size), ("orientation", phone.orientation),
            ("app", "/".join(app) if app else "-"), ("display", phone.display_state),
            ("locked", phone.locked), ("network", phone.network_available)]
    return "\n".join(f"{k}: {v}" for k, v in rows)


def run(args, phone, out):
    c = args.command
    if c == "screenshot":
        phone.screenshot(args.file)
    elif c == "dump":
        out.write(phone.dump_xml().decode("utf-8") + "\n")
    elif c == "find":
        found = _selector(phone, args.selector).find_all(phone.dump())
        if not found:
            raise ZelvikError(f"no element {_selector(phone, args.selector)!r}")
        for element in found:
            out.write(f"{element!r}\n")
    elif c == "tap":
        phone.click(args.x, args.y)
    elif c == "tap-text":
        phone(text=args.text).click()
    elif c == "press":
        phone.press(args.key, long=args.long)
    elif c == "text":
        phone.send_text(args.string)
    elif c == "launch":
        phone.app_start(args.sopid, args.uiappid)
    elif c == "quit":
        phone.app_stop(args.sopid, args.uiappid)
    elif c == "push":
        progress = Progress(out) if out.isatty() else None
        phone.push(args.local, args.remote, progress)
    elif c == "logs":
        with phone.logs() as lines:
            for line in lines:
                out.write(line + "\n")
                out.flush()
    elif c == "info":
        out.write(_info(phone) + "\n")


def parser():
    p = argparse.ArgumentParser(prog="zelvik", description="Drive a phone through its agent.")
    p.add_argument("--host", default=os.environ.get("ZELVIK_HOST", "127.0.0.1"),
                   help="the phone's address (default $ZELVIK_HOST or 127.0.0.1)")
    p.add_argument("--port", type=int, default=int(os.environ.get("ZELVIK_PORT", "10008")))
    p.add_argument("--timeout", type=float, default=30.0, help="seconds per request")
    sub = p.add_subparsers(dest="command", required=True)
    sub.add_parser("screenshot", help="write the screen as PNG").add_argument("file")
    sub.add_parser("dump", help="print the layout dump")
    sub.add_parser("find", help="list elements, e.g. find text=OK").add_argument("selector", nargs="+")
    tap = sub.add_parser("tap", help="tap at X Y")
    tap.add_argument("x", type=int)
    tap.add_argument("y", type=int)
    sub.add_parser("tap-text", help="tap the element with this text").add_argument("text")
    press = sub.add_parser("press", help="press home, back, menu, power, volume_up, volume_down")
    press.add_argument("key")
    press.add_argument("--long", action="store_true")
    sub.add_parser("text", help="commit text to the focused input").add_argument("string")
    launch = sub.add_parser("launch", help="start an application")
    launch.add_argument("sopid")
    launch.add_argument("uiappid")
    quit_ = sub.add_parser("quit", help="quit an application")
    quit_.add_argument("sopid")
    quit_.add_argument("uiappid", nargs="?")
    push = sub.add_parser("push", help="upload a file")
    push.add_argument("local")
    push.add_argument("remote")
    sub.add_parser("logs", help="follow the system log until interrupted")
    sub.add_parser("info", help="device facts")
    return p


def main(argv=None):
    args = parser().parse_args(argv)
    phone = connect(args.host, args.port, args.timeout)
    try:
        run(args, phone, sys.stdout)
    except (ZelvikError, ValueError) as e:
        print(f"zelvik: {e}", file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        return 130
    except BrokenPipeError:
        return 0
    finally:
        phone.close()
    return 0
