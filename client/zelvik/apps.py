"""Applications: start, stop, query, install."""

import os

from .errors import AgentError


class Apps:
    """Application methods of Phone."""

    def app_start(self, sopid, uiappid):
        """Starts (or raises) an application; raises AgentError if it is not running afterwards."""
        self._act("/launchApp", {"sopid": sopid, "uiappid": uiappid})
        if not self.app_running(sopid):
            raise AgentError(f"GET /launchApp?sopid={sopid}&uiappid={uiappid}: "
                             f"{sopid} is not running afterwards (is it installed?)")

    def app_stop(self, sopid, uiappid=None):
        """Quits an application; uiappid defaults to the one on screen when it belongs to sopid."""
        if uiappid is None:
            current = self.current_app()
            if not current or current[0] != sopid:
                raise AgentError(f"app_stop({sopid!r}): name the uiappid, {sopid} is not on screen")
            uiappid = current[1]
        self._act("/quitApp", {"sopid": sopid, "uiappid": uiappid})

    def app_running(self, sopid):
        """True if a process of the package runs."""
        return self._flag("/appIsRunning", {"sopid": sopid})

    def app_installed(self, sopid):
        return self._flag("/isAppInstalled", {"sopid": sopid})

    def app_install(self, local_file, sopid=None, remote_dir="/tmp"):
        """Uploads a package file and installs it; with sopid, checks that it is installed."""
        remote = f"{remote_dir.rstrip('/')}/zelvik-{os.getpid()}-{os.path.basename(local_file)}"
        self.push(local_file, remote)
        try:
            self._act("/install", {"filepath": remote})
        finally:
            self._checked("/fileRemove", {"filename": remote}, quiet=True)
        if sopid is not None and not self.app_installed(sopid):
            raise AgentError(f"GET /install?filepath={remote}: {sopid} is not installed afterwards")

    def app_uninstall(self, sopid):
        """Uninstalls a package; raises AgentError if the phone refuses."""
        self._checked("/uninstall", {"sopid": sopid})

    def app_clear(self, sopid):
        """Removes the application's data."""
        self._act("/clearAppData", {"sopid": sopid})

    def current_app(self):
        """(sopid, uiappid) of the application on top, from the dump's root; None if unknown."""
        layout = self.dump()
        return (layout.sopid, layout.uiappid) if layout.sopid else None
