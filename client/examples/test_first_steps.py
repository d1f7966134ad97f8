"""A newcomer's first tests: each one starts an application and checks what a person would see.

Run against the simulated phone (scripts/run in another terminal):
    PYTHONPATH=client python3 -m pytest client/examples
"""

import os

import pytest

FORM = ("com.orvana.demo.form", "form")
LIST = ("com.orvana.demo.list", "list")


@pytest.fixture
def form(phone):
    phone.app_start(*FORM)
    yield phone
    phone.app_stop(*FORM)


def test_type_chinese_text_and_press_ok(form):
    form(object_name="nameInput").set_text("你好，世界")
    form(object_name="nameInput", text="你好，世界").wait()  # the dump shows it intact
    form(text="OK").click()
    form(object_name="resultText", text="Hello, 你好，世界").wait()  # wait, don't assert at once


def scroll_to(phone, row):
    """Drags the list a third of a screen at a time until the row "Item <row>" is on screen.

    A slow drag moves the list about as far as the finger went, so it never skips past the row;
    a fast swipe flicks it by a distance that depends on timing.
    """
    width, height = phone.window_size
    low, high = 2 * height / 3, height / 3
    for _ in range(30):
        if phone(text=f"Item {row}").exists:
            return
        some = int(phone(text_matches=r"Item \d+").info["text"].split()[1])  # a row on screen
        down = some < row
        phone.swipe(width / 2, low if down else high, width / 2, high if down else low, duration=0.5)
        phone.wait_stable()  # until the list has come to rest
    raise AssertionError(f"row {row} never came on screen")


def test_scroll_the_list_to_a_far_row(phone):
    phone.app_start(*LIST)
    assert not phone(text="Item 40").exists  # rows below the screen are not "visible"
    scroll_to(phone, 40)
    phone(text="Item 40").click()
    phone(object_name="detailText", text="Item 40").wait()
    phone.press("back")
    phone(object_name="detailPage").wait_gone()
    phone.app_stop(*LIST)


def test_rotate_to_landscape(form):
    form.orientation = "landscape"
    try:
        width, height = form.window_size
        assert width > height
        assert form(text="OK").exists
    finally:
        form.orientation = "portrait"


def test_push_a_file(phone, tmp_path):
    local = tmp_path / "notes.txt"
    local.write_text("hello phone\n")
    folder = f"/tmp/zelvik-example-{os.getpid()}"
    phone.mkdir(folder)
    remote = phone.push(str(local), folder + "/")
    assert phone.exists(remote)
    assert phone.ls(folder) == ["notes.txt"]
    phone.rm(folder, recursive=True)


def test_read_the_log_while_starting_an_app(phone):
    with phone.logs(follow=False, idle=5) as log:
        phone.app_start(*FORM)
        assert any("com.orvana.demo.form" in line for line in log)
    phone.app_stop(*FORM)
