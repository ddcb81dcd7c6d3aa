# vantrels-sim starts its body, clock and ground truth only once the driver has reported the headset.

import json
import socket
import struct
import subprocess
import time

from conftest import tool

HEADSET = (2.0, 1.5, -1.0)


# Runs the simulator against a stand-in driver that answers with a host pose report once
# `answer_after` datagrams have come (never for None). Returns the datagrams, the time of the
# first answer, the truth lines and the simulator's output.
def run_sim(tmp_path, answer_after, *options):
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as driver:
        driver.bind(("127.0.0.1", 0))
        driver.settimeout(0.1)
        sim = subprocess.Popen([tool("vantrels-sim"), "--port", str(driver.getsockname()[1]), "--points", "0,1",
                                "--rate", "50", "--record", str(tmp_path / "truth.jsonl"), *options],
                               stdout=subprocess.PIPE, text=True)  # fmt: skip
        datagrams, answered = [], None
        report = b"VNTR\x04\x02\x00\x00\x01\x00\x00\x00" + struct.pack("<7f", *HEADSET, 0, 0, 0, 1)
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            try:
                data, sender = driver.recvfrom(4096)
            except socket.timeout:  # nothing queued: done once the simulator has ended
                if sim.poll() is not None:
                    break
                continue
            datagrams.append(data)
            if answer_after is not None and len(datagrams) >= answer_after:
                answered = answered or time.monotonic_ns()
                driver.sendto(report, sender)
        output = sim.communicate(timeout=30)[0]
    assert sim.returncode == 0, output
    return datagrams, answered, [json.loads(line) for line in (tmp_path / "truth.jsonl").read_text().splitlines()], output


def test_body_starts_under_the_reported_headset(tmp_path):
    datagrams, answered, truth, output = run_sim(tmp_path, 3, "--seconds", "0.4")
    assert [d[6] for d in datagrams[:3]] == [0, 0, 0] and all(len(d) == 16 for d in datagrams[:3])
    assert len(datagrams) > 3 and all(d[6] == 2 and struct.unpack_from("<B3x3f", d, 16) == (0,) + HEADSET
                                        for d in datagrams[3:])  # fmt: skip
    # No ground truth from before the headset was known.
    assert "the body starts under it" in output and min(t["t_ns"] for t in truth) >= answered
    assert all((t["x"], t["y"], t["z"]) == HEADSET for t in truth if t["index"] == 0)


def test_without_a_headset_the_run_starts_after_the_wait(tmp_path):
    start = time.monotonic_ns()
    datagrams, _, truth, output = run_sim(tmp_path, None, "--seconds", "0.2", "--wait-seconds", "1")
    hellos = [d for d in datagrams if d[6] == 0]
    assert 2 <= len(hellos) <= 11 and datagrams[: len(hellos)] == hellos  # every 100 ms, then the body
    assert "no valid headset reported within 1.0 s" in output
    assert min(t["t_ns"] for t in truth) >= start + 1_000_000_000
    assert all(d[6] == 2 for d in run_sim(tmp_path, None, "--seconds", "0.2", "--follow-headset", "off")[0])
