"""Touch, key and text input."""

import time

# Keys by name: (path of the agent's key endpoint).
KEYS = {"home": "/sendHomeKeyEvent", "back": "/sendBackKeyEvent", "menu": "/sendMenuKeyEvent",
        "power": "/sendPowerKeyEvent", "volume_up": "/sendVolumeUpKeyEvent",
        "volume_down": "/sendVolumeDownKeyEvent"}
LONG_PRESS = 1.5
PRESS, MOVE, RELEASE = 1, 2, 0


class Input:
    """Input methods of Phone."""

    def click(self, x, y):
        """Taps the screen at (x, y)."""
        self._act("/sendTouchEvent", {"points": f"{round(x)}|{round(y)}"})

    def long_click(self, x, y, duration=1.0):
        """Holds a finger at (x, y) for duration seconds."""
        self._act("/sendTouchEvent", {"points": f"{round(x)}|{round(y)}", "delay": round(duration * 1000)})

    def multi_tap(self, *points, duration=0.1):
        """Taps with several fingers at once, one per (x, y) point, held for duration seconds."""
        if len(points) < 2:
            raise ValueError("multi_tap needs at least two points")
        self._gesture([[p] for p in points], hold=duration)

    def touch(self, kind, slot, x, y):
        """One raw touch event: kind PRESS, MOVE or RELEASE of the finger in slot (0 to 15)."""
        self._act("/sendTouchEventPWithUInput",
                  {"type": kind, "slot": slot, "id": slot, "x": round(x), "y": round(y)})

    def swipe(self, x1, y1, x2, y2, duration=None, steps=10):
        """Slides one finger from (x1, y1) to (x2, y2).

        Without a duration the agent slides as fast as it can (one request); with one, the moves
        are spread over that many seconds.
        """
        if duration is None:
            self._act("/sendSlideEvent", {"sliders": f"{round(x1)}|{round(y1)}->{round(x2)}|{round(y2)}"})
        else:
            self._gesture([_line((x1, y1), (x2, y2), steps)], duration=duration)

    def drag(self, x1, y1, x2, y2, duration=0.5, hold=0.6, steps=10):
        """Presses at (x1, y1), holds (a long press picks the thing up), moves to (x2, y2), releases."""
        self._gesture([_line((x1, y1), (x2, y2), steps)], duration=duration, hold_first=hold)

    def pinch_in(self, x, y, distance=300, duration=0.4, steps=10):
        """Two fingers around (x, y), distance apart, move together toward the centre."""
        self._pinch(x, y, distance, 0.1, duration, steps)

    def pinch_out(self, x, y, distance=300, duration=0.4, steps=10):
        """Two fingers near (x, y) move apart until they are distance apart."""
        self._pinch(x, y, distance * 0.1, 10, duration, steps)

    def _pinch(self, x, y, start, factor, duration, steps):
        end = start * factor
        a = _line((x - start / 2, y), (x - end / 2, y), steps)
        b = _line((x + start / 2, y), (x + end / 2, y), steps)
        self._gesture([a, b], duration=duration)

    def _gesture(self, paths, duration=0.0, hold=0.0, hold_first=0.0):
        """Fingers follow their paths (lists of points) together through the raw touch endpoint."""
        for slot, path in enumerate(paths):
            self.touch(PRESS, slot, *path[0])
        if hold_first:
            time.sleep(hold_first)
        moves = max(len(p) for p in paths) - 1
        for step in range(1, moves + 1):
            for slot, path in enumerate(paths):
                self.touch(MOVE, slot, *path[min(step, len(path) - 1)])
            if duration:
                time.sleep(duration / moves)
        if hold:
            time.sleep(hold)
        for slot, path in enumerate(paths):
            self.touch(RELEASE, slot, *path[-1])

    def press(self, key, long=False):
        """Presses a key by name: home, back, menu, power, volume_up, volume_down.

        long=True holds it for 1.5 s.
        """
        if key not in KEYS:
            raise ValueError(f"unknown key {key!r}; one of {', '.join(KEYS)}")
        self._act(KEYS[key], {"delay": round(LONG_PRESS * 1000)} if long else None)

    def press_key(self, code, duration=0.0):
        """Presses a key by its Qt key code (e.g. 0x01000004 for Return)."""
        self._act("/sendKeyEvent", {"value": int(code), "delay": round(duration * 1000)})

    def send_text(self, text):
        """Commits text to the focused input in one piece, as an input method does."""
        self._act("/sendCommitString", {"str": text})


def _line(start, end, steps):
    (x1, y1), (x2, y2) = start, end
    return [(x1 + (x2 - x1) * k / steps, y1 + (y2 - y1) * k / steps) for k in range(steps + 1)]
