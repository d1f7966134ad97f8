"""Drive a phone's user interface through its agent.

    import zelvik
    phone = zelvik.connect("127.0.0.1")
    phone.app_start("com.orvana.demo.form", "form")
    phone(text="OK").click()
"""

from .errors import AgentError, ElementNotFound, Timeout, ZelvikError
from .layout import Layout
from .phone import Phone, connect
from .selectors import Element, Selector

__all__ = ["connect", "Phone", "Selector", "Element", "Layout",
           "ZelvikError", "AgentError", "ElementNotFound", "Timeout"]
