# What the kit's tests share: the built tools and driver, and the driver running in vantrels-host.

import json
import os
import signal
import socket
import subprocess
import sys

import pytest

SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(SOURCE, "clients", "python"))
import vantrels  # noqa: E402

TOOLS = os.path.abspath(os.environ.get("VANTRELS_TOOLS_DIR", os.path.join(SOURCE, "build", "default", "bin")))
DRIVER = os.path.abspath(os.environ.get("VANTRELS_DRIVER_DIR", os.path.join(SOURCE, "build", "default", "vantrels")))


def tool(name):
    path = os.path.join(TOOLS, name)
    if not os.path.exists(path):
        pytest.fail(f"{path} is not built: build the default preset", pytrace=False)
    return path


# The real driver inside vantrels-host (still headset, two controllers), recording every call.
class Host:
    def __init__(self, tmp_path):
        if not os.path.exists(os.path.join(DRIVER, "driver.vrdrivermanifest")):
            pytest.fail(f"no driver folder built in {DRIVER}", pytrace=False)
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            s.bind(("127.0.0.1", 0))
            self.port, self.record = s.getsockname()[1], tmp_path / "host.jsonl"
        command = [tool("vantrels-host"), "--driver", DRIVER, "--seconds", "120", "--controllers", "2", "--quiet"]
        command += ["--set", f"driver_vantrels.port={self.port}", "--record", str(self.record)]
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        with vantrels.Client(port=self.port) as client:
            client.wait_for_report(timeout=60)

    def stop(self):  # as Ctrl-C does; returns the recorded calls
        self.process.send_signal(signal.SIGTERM)
        output = self.process.communicate(timeout=60)[0]
        assert self.process.returncode == 0, output
        return [json.loads(line) for line in self.record.read_text().splitlines()]


# Serial number -> positions of the valid poses the driver submitted for that tracker, in order.
def valid_positions(calls):
    serials, out = {}, {}
    for c in calls:
        if c["call"] == "TrackedDeviceAdded":
            serials[c["deviceIndex"]] = c["serial"]
        elif c["call"] == "TrackedDevicePoseUpdated" and c["pose"]["poseIsValid"]:
            out.setdefault(serials[c["deviceIndex"]], []).append(c["pose"]["vecPosition"])
    return out


@pytest.fixture
def host(tmp_path):
    running = Host(tmp_path)
    yield running
    running.process.kill()  # nothing happens when it has ended
    running.process.wait()
