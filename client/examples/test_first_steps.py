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


def flick_to(phone, row):
    """Flicks the list up or down until the row "Item <row>" is on screen; after an overshoot
    the flicks get shorter, and so slower."""
    width, height = phone.window_size
    length, last = 0.3 * height, None
    for _ in range(30):
        if phone(text=f"Item {row}").exists:
            return
        top = int(phone(text_matches=r"Item \d+").info["text"].split()[1])  # first row on screen
        up = top < row
        if last is not None and up != last:
            length /= 2
        last = up
        start, end = (height + length) / 2, (height - length) / 2
        phone.swipe(width / 2, start if up else end, width / 2, end if up else start)
        phone.wait_stable()  # until the flick has come to rest
    raise AssertionError(f"row {row} never came on screen")


def test_flick_the_list_to_a_far_row(phone):
    phone.app_start(*LIST)
    assert not phone(text="Item 40").exists  # rows below the screen are not "visible"
    flick_to(phone, 40)
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
