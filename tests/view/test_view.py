# The live view as its users meet it: vantrels-host --view with the real driver fed by
# vantrels-sim, read by headless Chromium and by plain sockets, friendly and hostile.

import json
import os
import re
import shutil
import signal
import socket
import subprocess
import time

import pytest

SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
TOOLS = os.environ.get("VANTRELS_TOOLS_DIR", os.path.join(SOURCE, "build", "default", "bin"))
DRIVER = os.environ.get("VANTRELS_DRIVER_DIR", os.path.join(SOURCE, "build", "default", "vantrels"))
RUNNER = os.environ.get("VANTRELS_RUNNER", "").split()  # Wine, for the Windows host
RATE = 45


def tool(name):
    path = os.path.join(TOOLS, name + (".exe" if RUNNER else ""))
    if not os.path.exists(path):
        pytest.skip(f"{path} is not built")
    return path


class View:
    """vantrels-host --view 0 running the driver for `seconds`, the simulator feeding it."""

    def __init__(self, tmp_path, seconds, sim=True):
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            s.bind(("127.0.0.1", 0))
            udp = str(s.getsockname()[1])
        self.record = tmp_path / "host.jsonl"
        command = RUNNER + [tool("vantrels-host"), "--driver", DRIVER, "--view", "0", "--seconds", str(seconds),
                            "--rate", str(RATE), "--controllers", "2", "--quiet", "--set", f"driver_vantrels.port={udp}"]
        self.host = subprocess.Popen(command + ([] if RUNNER else ["--record", str(self.record)]),
                                     stdout=subprocess.PIPE, text=True)
        line = self.host.stdout.readline()
        self.port = int(re.fullmatch(r"vantrels-host: view at http://127\.0\.0\.1:(\d+)/\n", line).group(1))
        self.url = f"http://127.0.0.1:{self.port}/"
        self.sim = sim and subprocess.Popen([tool("vantrels-sim"), "--port", udp, "--seconds", str(seconds),
                                             "--wait-seconds", "30"], stdout=subprocess.DEVNULL)

    def connect(self, request, host=None, receive_buffer=None):
        s = socket.socket()
        if receive_buffer:
            s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, receive_buffer)
        s.settimeout(60)
        s.connect(("127.0.0.1", self.port))
        s.sendall(request.replace(b"HOST", (host or f"127.0.0.1:{self.port}").encode()))
        return s

    def status(self, request, host=None):  # None: closed without an answer
        try:
            with self.connect(request, host) as s:
                head = s.recv(4096)
        except ConnectionResetError:
            head = b""
        return int(head.split()[1]) if head else None

    def finish(self, stop=True):  # the summary line and the recorded calls
        if stop:
            self.host.send_signal(signal.SIGTERM)
        output = self.host.communicate(timeout=300)[0]
        assert self.host.returncode == 0, output
        return output, [json.loads(line) for line in self.record.read_text().splitlines()] if not RUNNER else []


@pytest.fixture
def start(tmp_path):  # start(seconds, sim=True) -> a running View, ended with the test
    views = []
    yield lambda *arguments: views.append(View(tmp_path, *arguments)) or views[-1]
    for process in [p for v in views for p in (v.host, v.sim) if p and p.poll() is None]:
        process.kill()


def get(path):
    return f"GET {path} HTTP/1.1\r\nHost: HOST\r\n\r\n".encode()


def events(data):  # the stream's complete events
    return [json.loads(e[6:]) for e in data.decode().split("\n\n")[:-1] if e.startswith("data: ")]


def first_submission_per_frame(calls):  # frame -> monotonic time of its first pose submission
    frames, frame = {}, None
    for c in calls:
        if c["call"] == "RunFrame":
            frame = c["frame"]
        elif c["call"] == "TrackedDevicePoseUpdated":
            frames.setdefault(frame, c["monotonicNs"])
    return frames


def chromium(tmp_path):
    webdriver = pytest.importorskip("selenium.webdriver", reason="python3-selenium is missing: run scripts/setup test")
    service = pytest.importorskip("selenium.webdriver.chrome.service").Service(shutil.which("chromedriver"))
    if not shutil.which("chromium") or not shutil.which("chromedriver"):
        pytest.skip("chromium or chromedriver is missing: run scripts/setup test")
    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium")
    for argument in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     "--enable-unsafe-swiftshader", "--window-size=1100,760", f"--user-data-dir={tmp_path}/chromium"):
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(service=service, options=options)


def wait_for(condition, seconds=90):
    deadline = time.monotonic() + seconds
    while not (result := condition()) and time.monotonic() < deadline:
        time.sleep(0.2)
    return result


def test_the_page_shows_what_the_driver_submits(start, tmp_path):
    view = start(120)
    browser = chromium(tmp_path)
    try:
        browser.get(view.url)
        state = wait_for(lambda: (s := browser.execute_script("return window.vantrelsView")) and len(
            s["trackers"]) == 19 and all(t["position"] for t in s["trackers"]) and s)
        assert state, browser.execute_script("return window.vantrelsView")
        time.sleep(2)  # the camera has turned to the body
        browser.save_screenshot(os.environ.get("VANTRELS_VIEW_SCREENSHOT", str(tmp_path / "view.png")))
        assert browser.execute_script("window.vantrelsView = null; window.vantrelsView.frame = -1;"
                                      "return window.vantrelsView.frame") >= state["frame"]  # read-only
        assert [e for e in browser.get_log("browser") if e["level"] == "SEVERE"] == []
        _, calls = view.finish()
        # The host has ended: the page says so, and does not pile up errors trying to reconnect.
        assert wait_for(lambda: browser.find_element("id", "state").get_attribute("class") == "paused", 30)
        time.sleep(4)
        assert len([e for e in browser.get_log("browser") if e["level"] == "SEVERE"]) <= 3
    finally:
        browser.quit()

    serials, submitted, frame = {}, {}, None
    for c in calls:
        frame = c["frame"] if c["call"] == "RunFrame" else frame
        if c["call"] == "TrackedDeviceAdded":
            serials[c["deviceIndex"]] = c["serial"]
        elif c["call"] == "TrackedDevicePoseUpdated" and frame == state["frame"]:
            submitted[serials[c["deviceIndex"]]] = c["pose"]
    assert sorted(submitted) == sorted(t["serial"] for t in state["trackers"])
    for t in state["trackers"]:
        pose, q = submitted[t["serial"]], submitted[t["serial"]]["qRotation"]
        assert t["valid"] == pose["poseIsValid"]
        assert max(abs(a - b) for a, b in zip(t["position"], pose["vecPosition"])) < 0.001, t
        assert abs(sum(a * b for a, b in zip(t["rotation"], (q["w"], q["x"], q["y"], q["z"])))) > 1 - 1e-6, t
    trackers = {t["serial"]: t for t in state["trackers"]}
    assert trackers["VANTRL-LEFT-FOOT"]["role"] == "TrackerRole_LeftFoot" and trackers["VANTRL-NECK"]["role"] is None
    assert trackers["VANTRL-WAIST"]["battery"] is None and 0 < trackers["VANTRL-CHEST"]["battery"] <= 1
    assert state["headset"] == {"position": [0, 1.7, 0], "rotation": [1, 0, 0, 0]}


def test_hostile_clients_and_a_stalled_viewer_leave_the_frames_alone(start):
    view = start(30)
    port = view.port
    for request, host, expected in [
        (get("/"), None, {200}),
        (get("/../host.jsonl"), None, {404}),
        (get("/three/../../../../etc/passwd"), None, {404}),
        (get("/%2e%2e/%2e%2e/etc/passwd"), None, {404}),
        (get("/"), "evil.example", {403}),
        (get("/stream"), f"rebound.example:{port}", {403}),
        (get("/"), f"127.0.0.1:{port + 1}", {403}),
        (b"GET / HTTP/1.1\r\n\r\n", None, {403}),
        (b"POST / HTTP/1.1\r\nHost: HOST\r\nContent-Length: 0\r\n\r\n", None, {405}),
        (b"GET / HTTP/1.1\r\nHost: HOST\r\nX-Big: " + b"x" * 20000 + b"\r\n\r\n", None, {431, None}),
    ]:
        assert view.status(request, host) in expected, (request[:60], host)
    for _ in range(10):  # a thousand connections opened and dropped
        for s in [socket.create_connection(("127.0.0.1", port)) for _ in range(100)]:
            s.close()
    assert view.status(get("/view.js")) == 200

    # A viewer that takes nothing: frames go on; once it reads, it has whole events, newest ones only.
    time.sleep(3)
    stalled_from = time.monotonic_ns()
    stalled = view.connect(get("/stream"), receive_buffer=1024)
    time.sleep(12)
    stalled_to = time.monotonic_ns()
    data = b""
    while chunk := stalled.recv(65536):
        data += chunk
        if len(data) > 1_000_000:
            break
    stalled.close()
    frames = [e["frame"] for e in events(data[data.index(b"\r\n\r\n") + 4:])]
    assert frames and frames == sorted(set(frames)) and frames[-1] - frames[0] > len(frames), frames

    output, calls = view.finish(stop=False)
    assert f"vantrels-host: {30 * RATE} frames, 19 devices announced" in output
    times = sorted(first_submission_per_frame(calls).values())
    before = [t for t in times if t < stalled_from]
    during = [t for t in times if stalled_from <= t < stalled_to]
    rate = lambda ts: (len(ts) - 1) / (ts[-1] - ts[0]) * 1e9  # noqa: E731
    assert len(before) > 10 and rate(during) > 0.5 * rate(before), (rate(before), rate(during))
    assert max(b - a for a, b in zip(during, during[1:])) < 3e9


def test_the_windows_host_serves_its_page_and_stream_under_wine(start):
    if not RUNNER:
        pytest.skip("the Windows host is tested in the windows build, under Wine")
    view = start(60, False)
    assert view.status(get("/")) == 200 and view.status(get("/"), "evil.example") == 403
    with view.connect(get("/stream")) as s:
        data = b""
        while data.count(b"\n\n") < 3:
            data += s.recv(65536)
    state = events(data[data.index(b"\r\n\r\n") + 4:])[-1]
    assert state["headset"]["position"] == [0, 1.7, 0] and [c["role"] for c in state["controllers"]] == ["left", "right"]
