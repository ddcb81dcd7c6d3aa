# vantrels-track-error --plot: the picture, PNG or SVG by the name, and the checks of its options.

import importlib.util
import json
import re
import subprocess

from conftest import tool
from ctest_pytest import missing


def test_plot_files_and_options(tmp_path):
    if importlib.util.find_spec("matplotlib") is None:
        missing("python3-matplotlib (scripts/setup test installs it)")
    truth, host = tmp_path / "truth.jsonl", tmp_path / "host.jsonl"
    with open(truth, "w") as t, open(host, "w") as h:
        for device, serial in ((3, "VANTRL-CHEST"), (4, "VANTRL-LEFT-FOOT")):
            h.write(json.dumps({"call": "TrackedDeviceAdded", "serial": serial, "deviceIndex": device}) + "\n")
        for k in range(100):
            for device, index, x in ((3, 1, 0.01 * k), (4, 5, -0.01 * k)):
                line = {"t_ns": 10**9 + k * 10**7, "index": index, "x": x, "y": 1, "z": 0, "qw": 1, "qx": 0, "qy": 0}
                t.write(json.dumps({**line, "qz": 0}) + "\n")
                pose = {"vecPosition": [x + 0.003, 1, 0], "qRotation": {"w": 1, "x": 0, "y": 0, "z": 0}, "poseIsValid": True}
                call = {"call": "TrackedDevicePoseUpdated", "deviceIndex": device, "monotonicNs": line["t_ns"]}
                h.write(json.dumps({**call, "pose": pose}) + "\n")

    command = [tool("vantrels-track-error"), "--truth", str(truth), "--host", str(host)]
    run = lambda *options: subprocess.run(command + list(options), capture_output=True, timeout=120, cwd=tmp_path)  # noqa

    for name, magic, tracker in (("e.png", b"\x89PNG", "left-foot"), ("e.SVG", b"<svg", "VANTRL-CHEST"),
                                 ("f.png", b"\x89PNG", None)):  # fmt: skip
        result = run("--plot", name, *(("--plot-tracker", tracker) if tracker else ()))
        assert result.returncode == 0, result.stderr
        # 3 mm off at each of the 100 moments: RMS and 95th percentile 3.0 mm, no rotation error.
        assert re.search(rb"VANTRL-CHEST +100 +3\.0 +3\.0 +0\.00 +0\.00", result.stdout), result.stdout
        assert f"plot: {name}".encode() in result.stdout
        assert magic in (tmp_path / name).read_bytes()[:400]
    assert sorted(p.name for p in tmp_path.iterdir()) == ["e.SVG", "e.png", "f.png", "host.jsonl", "truth.jsonl"]
    for bad in (["--plot", "e.jpg"], ["--plot-tracker", "chest"], ["--plot", "g.png", "--plot-tracker", "tail"],
                ["--plot", "g.png", "--plot-tracker", "head"]):  # fmt: skip
        assert run(*bad).returncode == 2, bad
    assert run("--plot", "g.png", "--plot-tracker", "right-foot").returncode == 1  # nothing to draw
