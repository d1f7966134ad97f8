"""Device state: display, lock, audio, brightness, time, network, system facts."""

import time

from .errors import AgentError, Timeout
from .selectors import backoff, sleep_until

ORIENTATIONS = {"portrait": 1, "landscape": 2, "inverted_portrait": 4, "inverted_landscape": 8}
# The sensor reading that turns the screen to each orientation.
_SENSOR = {1: 1, 4: 2, 2: 3, 8: 4}


class Device:
    """Device methods and properties of Phone."""

    def screen_on(self):
        self._act("/setDisplayState", {"state": 1})

    def screen_off(self):
        self._act("/setDisplayState", {"state": 0})

    @property
    def display_state(self):
        """0 off, 1 on, 2 dimmed."""
        return self._int("/getDisplayState")

    @property
    def locked(self):
        return self._int("/getLockState") != 0

    def lock(self):
        self._act("/setLockState", {"state": 1})

    def unlock(self):
        self._act("/setLockState", {"state": 0})

    @property
    def orientation(self):
        """The screen orientation: "portrait", "landscape", "inverted_portrait" or
        "inverted_landscape". Setting it allows rotation and simulates the sensor."""
        value = self._int("/getScreenOrientation")
        names = {v: k for k, v in ORIENTATIONS.items()}
        if value not in names:
            raise AgentError(f"GET /getScreenOrientation: unknown orientation {value}")
        return names[value]

    @orientation.setter
    def orientation(self, name):
        if name not in ORIENTATIONS:
            raise ValueError(f"unknown orientation {name!r}; one of {', '.join(ORIENTATIONS)}")
        if not self._flag("/getRotationAllowed"):
            self._act("/setRotationAllowed", {"allowed": 1})
        self._act("/sendOrientationEvent", {"orientation": _SENSOR[ORIENTATIONS[name]]})
        deadline = time.monotonic() + 5
        while self.orientation != name:
            if time.monotonic() > deadline:
                raise Timeout(f"GET /sendOrientationEvent: the screen did not turn to {name}")
            time.sleep(0.05)

    @property
    def window_size(self):
        """(width, height) of the top window as the dump reports it."""
        layout = self.dump()
        if layout.empty:
            image = self.screenshot()
            return image.size
        return layout.size

    @property
    def brightness(self):
        value = self._int("/getBrightness")
        if value < 0:
            raise AgentError("GET /getBrightness: the phone has no readable backlight")
        return value

    @brightness.setter
    def brightness(self, value):
        if self._int("/setBrightness", {"brightness": value}) <= 0:
            raise AgentError(f"GET /setBrightness?brightness={value}: refused "
                             f"(0 to {self.max_brightness})")

    @property
    def max_brightness(self):
        return self._int("/maxBrightness")

    @property
    def auto_brightness(self):
        return self._flag("/getAutoBrightness")

    @auto_brightness.setter
    def auto_brightness(self, on):
        self._act("/setAutoBrightness", {"enable": int(bool(on))})

    def volume(self, stream=2):
        """Volume of a stream type (0 system, 1 ring, 2 media, 3 call, 4 alarm, 5 notification)."""
        return self._int("/getVolume", {"type": stream})

    def set_volume(self, value, stream=2):
        self._act("/setVolume", {"type": stream, "volume": value})

    @property
    def audio_output_port(self):
        return self._int("/getAudioOutputPort")

    @audio_output_port.setter
    def audio_output_port(self, port):
        self._act("/setAudioOutputPort", {"type": port})

    @property
    def audio_input_port(self):
        return self._int("/getAudioInputPort")

    @audio_input_port.setter
    def audio_input_port(self, port):
        self._act("/setAudioInputPort", {"type": port})

    @property
    def blank_timeout(self):
        """Seconds until the screen blanks."""
        return self._int("/getBlankTimeout")

    @blank_timeout.setter
    def blank_timeout(self, seconds):
        self._act("/setBlankTimeout", {"sec": seconds})

    @property
    def time(self):
        """The phone's clock in seconds since the epoch."""
        return self._int("/getDatetime")

    @time.setter
    def time(self, seconds):
        self._act("/setDatetime", {"datetime": int(seconds)})

    @property
    def os_version(self):
        return self._text("/getOsVersion")

    @property
    def serial_number(self):
        return self._text("/getSerialNumber")

    @property
    def network_available(self):
        return self._flag("/isNetworkAvailable")

    def wifi_connect(self, ssid, timeout=30):
        """Joins an open Wi-Fi network; raises Timeout if it is not found within timeout seconds."""
        params = {"ssid": ssid, "timeout": max(1, round(timeout))}
        if self._get("/connectOpenWiFi", params, idempotent=False,
                     timeout=self.timeout + timeout).strip() != b"1":
            raise Timeout(f"GET /connectOpenWiFi: no network {ssid!r} within {timeout:g} s")

    @property
    def panel_open(self):
        """True while the notification panel is open."""
        return self._flag("/getPanelState")

    def open_panel(self):
        self._act("/setPanelState")

    def toast(self, timeout=5.0):
        """The text of the latest toast shown after this call began; raises Timeout otherwise."""
        before = self._text("/getLatestToast", utf8=True)
        deadline = time.monotonic() + timeout
        for delay in backoff():
            sleep_until(deadline, delay)
            latest = self._text("/getLatestToast", utf8=True)
            if latest != before:
                return latest
            if time.monotonic() >= deadline:
                raise Timeout(f"GET /getLatestToast: no new toast within {timeout:g} s "
                              f"(the latest is {before!r})")
