# The live view as its users meet it: vantrels-host --view with the real driver fed by
# vantrels-sim, read by headless Chromium and by plain sockets, friendly and hostile.
import json, os, re, shutil, signal, socket, subprocess, time  # noqa: E401

import pytest
from ctest_pytest import missing

TOOLS = os.path.abspath(os.environ.get("VANTRELS_TOOLS_DIR", "build/default/bin"))  # by hand: from the top folder
DRIVER = os.path.abspath(os.environ.get("VANTRELS_DRIVER_DIR", "build/default/vantrels"))
RUNNER = os.environ.get("VANTRELS_RUNNER", "").split()  # Wine, for the Windows host


def tool(name):
    path = os.path.join(TOOLS, name + (".exe" if RUNNER else ""))
    return path if os.path.exists(path) else pytest.fail(f"{path} is not built")


@pytest.fixture
def start(tmp_path):  # start(seconds, sim) -> the running vantrels-host --view 0 and its port
    processes = []

    def run(seconds, sim=True):
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            s.bind(("127.0.0.1", 0))
            udp = str(s.getsockname()[1])
        record = [] if RUNNER else ["--record", str(tmp_path / "host.jsonl")]
        host = subprocess.Popen(RUNNER + [tool("vantrels-host"), "--driver", DRIVER, "--view", "0", "--seconds",
                                          str(seconds), "--rate", "45", "--controllers", "2", "--quiet", "--set",
                                          f"driver_vantrels.port={udp}", *record], stdout=subprocess.PIPE, text=True)
        processes.append(host)
        if sim:
            processes.append(subprocess.Popen([tool("vantrels-sim"), "--port", udp, "--seconds", str(seconds),
                                               "--wait-seconds", "30"], stdout=subprocess.DEVNULL))
        return host, int(re.fullmatch(r"vantrels-host: view at http://127\.0\.0\.1:(\d+)/\n", host.stdout.readline())[1])

    yield run
    for process in processes:
        process.kill()  # nothing happens to one that has ended


def finish(host, tmp_path):  # stops the host as Ctrl-C does; every submitted (frame, serial, pose, time)
    host.send_signal(signal.SIGTERM)
    assert host.wait(timeout=300) == 0, host.stdout.read()
    serials, frame, submitted = {}, None, []
    for c in map(json.loads, (tmp_path / "host.jsonl").read_text().splitlines()):
        frame = c["frame"] if c["call"] == "RunFrame" else frame
        serials.update({c["deviceIndex"]: c["serial"]} if c["call"] == "TrackedDeviceAdded" else {})
        if c["call"] == "TrackedDevicePoseUpdated":
            submitted.append((frame, serials[c["deviceIndex"]], c["pose"], c["monotonicNs"]))
    return submitted


def ask(port, request, host=None, receive_buffer=0):  # a socket that has sent the request
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, receive_buffer or 65536)
    s.settimeout(60)
    s.connect(("127.0.0.1", port))
    s.sendall(request.replace(b"HOST", (host or f"127.0.0.1:{port}").encode()))
    return s


def status(port, request, host=None):  # None: closed without an answer
    try:
        with ask(port, request, host) as s:
            return int(s.recv(4096).split()[1])
    except (ConnectionResetError, IndexError):
        return None


get = lambda path: f"GET {path} HTTP/1.1\r\nHost: HOST\r\n\r\n".encode()  # noqa: E731


def events(data):  # the complete events after the answer's head
    return [json.loads(e[6:]) for e in data[data.index(b"\r\n\r\n") + 4:].decode().split("\n\n")[:-1]]


def wait_for(condition, seconds=90):
    deadline = time.monotonic() + seconds
    while not (result := condition()) and time.monotonic() < deadline:
        time.sleep(0.2)
    return result


def chromium(tmp_path):
    try:
        from selenium import webdriver
    except ImportError:
        missing("python3-selenium (scripts/setup test installs it)")
    if not shutil.which("chromium") or not shutil.which("chromedriver"):
        missing("chromium or chromedriver (scripts/setup test installs them)")
    options = webdriver.ChromeOptions()
    for argument in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     "--enable-unsafe-swiftshader", "--window-size=1100,760", f"--user-data-dir={tmp_path}/chromium"):
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    from selenium.webdriver.chrome.service import Service

    service = Service(shutil.which("chromedriver"))
    return webdriver.Chrome(service=service, options=options)


def test_the_page_shows_what_the_driver_submits(start, tmp_path):
    host, port = start(120)
    browser = chromium(tmp_path)
    severe = lambda: [e for e in browser.get_log("browser") if e["level"] == "SEVERE"]  # noqa: E731
    try:
        browser.get(f"http://127.0.0.1:{port}/")
        assert (state := wait_for(lambda: (s := browser.execute_script("return window.vantrelsView")) and len(
            s["trackers"]) == 19 and all(t["position"] for t in s["trackers"]) and s))
        time.sleep(2)  # the camera has turned to the body
        browser.save_screenshot(os.environ.get("VANTRELS_VIEW_SCREENSHOT", str(tmp_path / "view.png")))
        assert browser.execute_script("window.vantrelsView = null; window.vantrelsView.frame = -1;"
                                      "return window.vantrelsView.frame") >= state["frame"]  # read-only
        assert severe() == []
        submitted = finish(host, tmp_path)
        # The host has ended: the page says so, without piling up errors as it looks for it again.
        assert wait_for(lambda: browser.find_element("id", "state").get_attribute("class") == "paused", 30)
        time.sleep(4)
        assert len(severe()) <= 3
    finally:
        browser.quit()

    poses = {serial: pose for frame, serial, pose, _ in submitted if frame == state["frame"]}
    assert sorted(poses) == sorted(t["serial"] for t in state["trackers"])
    for t in state["trackers"]:
        pose, q = poses[t["serial"]], poses[t["serial"]]["qRotation"]
        assert t["valid"] == pose["poseIsValid"]
        assert max(abs(a - b) for a, b in zip(t["position"], pose["vecPosition"])) < 0.001, t
        assert abs(sum(a * b for a, b in zip(t["rotation"], (q["w"], q["x"], q["y"], q["z"])))) > 1 - 1e-6, t
    trackers = {t["serial"]: t for t in state["trackers"]}
    assert trackers["VANTRL-LEFT-FOOT"]["role"] == "TrackerRole_LeftFoot" and trackers["VANTRL-NECK"]["role"] is None
    assert trackers["VANTRL-WAIST"]["battery"] is None and 0 < trackers["VANTRL-CHEST"]["battery"] <= 1
    assert state["headset"] == {"position": [0, 1.7, 0], "rotation": [1, 0, 0, 0]}


def test_hostile_clients_and_a_stalled_viewer_leave_the_frames_alone(start, tmp_path):
    host, port = start(60)
    for request, name, expected in [
        (get("/view.js?v=2"), f"localhost:{port}", {200}),
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
        assert status(port, request, name) in expected, (request[:60], name)
    [c.close() for _ in range(10) for c in [socket.create_connection(("127.0.0.1", port)) for _ in range(100)]]
    assert status(port, get("/")) == 200  # after a thousand connections opened and dropped, a hundred at a time

    # A viewer that takes nothing: frames go on, and it is dropped with the few whole events it had.
    time.sleep(3)
    stalled_from, stalled = time.monotonic_ns(), ask(port, get("/stream"), receive_buffer=1024)
    time.sleep(15)
    stalled_to, data = time.monotonic_ns(), b""
    while len(data) < 1_000_000 and (chunk := stalled.recv(65536)):
        data += chunk
    submitted = finish(host, tmp_path)
    times = sorted({frame: ns for frame, _, _, ns in reversed(submitted)}.values())  # each frame's first
    before, during = [t for t in times if t < stalled_from], [t for t in times if stalled_from <= t < stalled_to]
    rate = lambda ts: (len(ts) - 1) / (ts[-1] - ts[0]) * 1e9  # noqa: E731
    assert len(before) > 10 and rate(during) > 0.5 * rate(before), (rate(before), rate(during))
    frames = [e["frame"] for e in events(data)]
    assert frames == sorted(set(frames)) and 0 < len(frames) < len(during) / 2, (frames, len(during))
    assert max(b - a for a, b in zip(during, during[1:])) < 3e9


@pytest.mark.skipif(not RUNNER, reason="the Windows host is tested in the windows build, under Wine")
def test_the_windows_host_serves_its_page_and_stream_under_wine(start):
    host, port = start(60, False)
    assert status(port, get("/")) == 200 and status(port, get("/"), "evil.example") == 403
    with ask(port, get("/stream")) as s:
        data = b""
        while data.count(b"\n\n") < 3:
            data += s.recv(65536)
    state = events(data)[-1]
    assert state["headset"]["position"] == [0, 1.7, 0] and [c["role"] for c in state["controllers"]] == ["left", "right"]
