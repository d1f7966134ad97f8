"""Client overhead: find-by-text in a 500-item dump and click, against the two raw requests;
a 100 MiB push against curl uploading the same file. Interleaved rounds; the click compares
medians, the push the best round of each (on a busy machine a slow round is other load)."""

import http.client
import json
import os
import statistics
import subprocess
import tempfile
import sys
import time

import zelvik

GRID_QML = """import QtQuick 2.12
Rectangle {
    color: "white"
    Flow {
        anchors.fill: parent
        Repeater { model: 500; Text { width: 36; height: 25; font.pixelSize: 9; text: "Cell " + index } }
    }
}
"""


def timed(action):
    start = time.perf_counter()
    action()
    return time.perf_counter() - start


def raw_find_and_click(conn, x, y):
    for path in ("/getLayoutXML", f"/sendTouchEvent?points={x}|{y}"):
        conn.request("GET", path)
        conn.getresponse().read()


def bench_click(phone, rounds=80):
    with tempfile.TemporaryDirectory() as folder:
        package = os.path.join(folder, "grid.opk")
        with open(package, "w") as f:
            json.dump({"sopid": "com.orvana.bench.grid", "uninstallable": True,
                       "apps": [{"uiappid": "grid", "name": "Grid", "qml": GRID_QML}]}, f)
        phone.app_install(package, sopid="com.orvana.bench.grid")
    phone.app_start("com.orvana.bench.grid", "grid")
    layout = phone.dump()
    items = sum(1 for _ in layout.items())
    raw = http.client.HTTPConnection(phone.host, phone.port, timeout=30)
    client, bare, cpu, bare_cpu = [], [], [], []
    for k in range(rounds):
        cell = phone(text=f"Cell {(k * 37) % 500}")
        x, y = cell.find(layout).center  # the raw requests tap the same spot
        start = time.process_time()
        client.append(timed(cell.click))
        cpu.append(time.process_time() - start)
        start = time.process_time()
        bare.append(timed(lambda: raw_find_and_click(raw, x, y)))
        bare_cpu.append(time.process_time() - start)
    raw.close()
    phone.app_stop("com.orvana.bench.grid", "grid")
    phone.app_uninstall("com.orvana.bench.grid")
    c, b = statistics.median(client[5:]), statistics.median(bare[5:])
    print(f"find by text in a {items}-item dump + click: client {c * 1000:.1f} ms, "
          f"raw two requests {b * 1000:.1f} ms, ratio {c / b:.3f} (target <= 1.1); "
          f"test-host CPU {statistics.median(cpu[5:]) * 1000:.1f} ms against "
          f"{statistics.median(bare_cpu[5:]) * 1000:.1f} ms")


def bench_push(phone, size=100 << 20, rounds=5):
    with tempfile.TemporaryDirectory(dir="/tmp") as folder:
        local = os.path.join(folder, "push.bin")
        with open(local, "wb") as f:
            for _ in range(size >> 20):
                f.write(os.urandom(1 << 20))
        os.sync()
        target = os.path.join(folder, "pushed.bin")
        url = f"http://{phone.host}:{phone.port}/upLoadFile"
        # "Expect:" off: curl would otherwise wait a second for a 100-continue the agent never sends.
        curl = ["curl", "-sS", "-o", "/dev/null", "-H", "Expect:", "-H", f"FileName: {target}",
                "-F", f"file=@{local}", url]
        client, peer = [], []
        for _ in range(rounds):
            client.append(timed(lambda: phone.push(local, target)))
            os.remove(target)
            peer.append(timed(lambda: subprocess.run(curl, check=True)))
            os.remove(target)
    mib = size / 2**20
    c, p = mib / min(client), mib / min(peer)
    print(f"push of {mib:.0f} MiB: client {c:.0f} MiB/s, curl {p:.0f} MiB/s, "
          f"throughput ratio {c / p:.3f} (target >= 0.9)")


if __name__ == "__main__":
    phone = zelvik.connect()
    bench_click(phone)
    if "--click-only" not in sys.argv:
        bench_push(phone)
