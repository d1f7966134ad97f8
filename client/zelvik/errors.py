"""Exception types of the client: every failure is one of these and names the request."""


class ZelvikError(Exception):
    """Base class of every error the client raises."""


class AgentError(ZelvikError):
    """The agent could not be reached, answered with an error, or reported a failure."""


class ElementNotFound(ZelvikError):
    """An element action found no element matching its selector."""


class Timeout(ZelvikError):
    """Something waited for did not happen in time."""
