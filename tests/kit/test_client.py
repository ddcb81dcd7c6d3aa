# The Python client: bytes against docs/protocol.md's tables, bad input, and the real driver.

import math
import os
import runpy
import socket
import struct
import sys
import time

import pytest
from conftest import SOURCE, valid_positions

import vantrels

R, encode_poses = vantrels.Record, vantrels.encode_poses


def test_every_version_matches_the_byte_tables():
    rotation, offset = (0.1, -0.2, 0.3, 0.9), (0.0, -0.08, 0.09)
    # version, settings, header, flags of a valid, charging, head-relative record
    for version, settings, header, flags in [
        (1, {}, b"VNTR\x01\x01\x02\x00", 0x03), (2, {}, b"VNTR\x02\x01\x02\x00", 0x03),
        (3, {"smoothing_ms": 25}, b"VNTR\x03\x01\x02\x19", 0x07),
        (4, {"smoothing_ms": 25, "server_time_us": 2**32 + 7, "adaptive": True},
         b"VNTR\x04\x01\x02\x19\x07\x00\x00\x00\x03\x00\x00\x00", 0x07),
        (4, {"server_time_us": 0xFFFFFFFF, "prediction": False}, b"VNTR\x04\x01\x02\x00\xff\xff\xff\xff" + bytes(4), 0x07),
    ]:  # fmt: skip
        first = R("Left Foot", (1.5, -2.0, 0.25), rotation, charging=True, battery=42, head_relative=version >= 3,
                  head_offset=offset if version >= 2 else (0, 0, 0))
        data = encode_poses([first, R(19, (0, 0, 0), valid=False)], version, **settings)
        size, at = 32 if version == 1 else 44, len(header)
        assert data[:at] == header and len(data) == at + 2 * size, version
        assert data[at : at + 4] == bytes([5, flags, 42, 0]) and data[at + size : at + size + 4] == bytes([19, 0, 255, 0])
        assert struct.unpack_from("<3f4f", data, at + 4) == pytest.approx((1.5, -2.0, 0.25) + rotation)
        assert version == 1 or struct.unpack_from("<3f", data, at + 32) == pytest.approx(offset)
    assert encode_poses([], server_time_us=0)[12] == 0x01  # prediction on by default in version 4
    assert (len(encode_poses([R(1, (0, 0, 0))] * 46)), len(encode_poses([R(1, (0, 0, 0))] * 63, 1))) == (2040, 2024)
    assert vantrels.serial_number("left_knee") == "VANTRL-LEFT-KNEE" and vantrels.body_point("VANTRL-HIP") == 11


def test_bad_input_is_a_value_error():
    zero = (0, 0, 0)
    for records, settings in [
        ([R(20, zero)], {}), ([R(-1, zero)], {}), ([R("tail", zero)], {}), ([R(True, zero)], {}),
        ([R(1, (math.nan, 0, 0))], {}), ([R(1, zero, (0, 0, 0, math.inf))], {}), ([R(1, (1e39, 0, 0))], {}),
        ([R(1, zero, (0, 0, 0, 0))], {}), ([R(1, (0, 0))], {}), ([R(1, "abc")], {}), ([(1, zero)], {}),
        ([R(1, zero, battery=101)], {}), ([R(1, zero, head_relative=True)], {"version": 2}),
        ([R(0, zero, head_offset=(0, 0, 1))], {"version": 1}), ([R(1, zero)] * 47, {}),
        ([R(1, zero)] * 47, {"version": 2}), ([R(1, zero)] * 64, {"version": 1}), ([], {"version": 5}),
        ([], {"version": 2, "smoothing_ms": 10}), ([], {"smoothing_ms": 256}), ([], {"version": 3, "prediction": True}),
        ([], {"server_time_us": -1}),
    ]:  # fmt: skip
        with pytest.raises(ValueError):
            encode_poses(records, **settings)


def test_host_report_decoding():
    head = b"VNTR\x04\x02\x01\x00\x01\x00\x00\x00" + struct.pack("<7f", 1, 2, 3, 0, 0, 0, 1)
    report = vantrels.decode_host_report(head + b"\x01\x02\x00\x00" + struct.pack("<7f", 4, 5, 6, 0, 1, 0, 0))
    assert (report.headset_valid, report.headset_position, report.headset_rotation) == (True, (1, 2, 3), (0, 0, 0, 1))
    assert report.hand("right").position == (4, 5, 6) and report.hand("left") is None
    for bad in [head, head + bytes(33), b"VNTR\x04\x01" + head[6:] + bytes(32), head[:39], b"VNTX" + head[4:] + bytes(32),
                b"VNTR\x04\x02\x11\x00" + bytes(32 + 17 * 32)]:  # fmt: skip
        with pytest.raises(ValueError):
            vantrels.decode_host_report(bad)


# Windows after a datagram found nobody listening: a receive fails with WSAECONNRESET, here every
# third, in the place of a datagram. Linux never does this.
class Resetting(socket.socket):
    received = 0

    def recv(self, size):
        data, self.received = super().recv(size), self.received + 1
        if self.received % 3 == 1:
            raise ConnectionResetError(10054, "An existing connection was forcibly closed by the remote host")
        return data


# Poses of every version, then the circle example, through sockets that fail as Windows' do.
def test_every_version_and_the_circle_example(host, monkeypatch, capsys):
    monkeypatch.setattr(socket, "socket", Resetting)
    sent = {1: ("chest", (0.0, 1.3, -0.1)), 2: ("waist", (0.0, 1.0, -0.1)), 3: ("left_knee", (-0.1, 0.5, 0.0)),
            4: ("right_foot", (0.1, 0.1, 0.05))}  # fmt: skip
    heard = []
    for version, (name, position) in sent.items():
        with vantrels.Client(port=host.port, version=version) as client:
            wanted, deadline = len(heard) + 10, time.monotonic() + 30
            while len(heard) < wanted and time.monotonic() < deadline:  # the driver answers every sender
                client.send([R(name, position, battery=50)])
                heard += filter(None, [client.receive(timeout=0.011)])
            assert len(heard) == wanted, version
    assert all(r.headset_valid for r in heard)
    assert heard[-1].headset_position == pytest.approx((0, 1.7, 0)) and heard[-1].headset_rotation == (0, 0, 0, 1)
    assert [c.hand for c in heard[-1].controllers] == ["left", "right"]
    assert heard[-1].hand("left").position[0] == pytest.approx(-0.2, abs=0.06)

    monkeypatch.setattr(sys, "argv", ["circle.py", "--port", str(host.port), "--seconds", "4", "--period", "2"])
    with pytest.raises(SystemExit) as end:
        runpy.run_path(os.path.join(SOURCE, "clients", "python", "examples", "circle.py"), run_name="__main__")
    out = capsys.readouterr().out
    assert end.value.code == 0 and "headset at (0.000, 1.700, 0.000); 2 controller(s): left" in out, out
    positions = valid_positions(host.stop())
    for name, position in sent.values():
        assert positions[vantrels.serial_number(name)][-1] == pytest.approx(position, abs=1e-4), name
    foot = positions["VANTRL-LEFT-FOOT"]
    assert all(math.hypot(x, z) == pytest.approx(0.3, abs=0.02) and y == pytest.approx(0.1, abs=1e-3) for x, y, z in foot)
    assert len({round(math.degrees(math.atan2(z, x)) / 45) % 8 for x, _, z in foot}) == 8  # twice round
