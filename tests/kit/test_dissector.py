# The Wireshark dissector, run by tshark over a capture of known good and bad datagrams.

import shutil
import struct
import subprocess

from conftest import SOURCE
from ctest_pytest import missing

import vantrels

R, encode_poses = vantrels.Record, vantrels.encode_poses

REPORT = b"VNTR\x04\x02\x02\x00\x01\x00\x00\x00" + struct.pack("<7f", 0, 1.7, 0, 0, 0, 0, 1) + b"".join(
    bytes([1, hand, 0, 0]) + struct.pack("<7f", x, 1, 0, 0, 0, 0, 1) for hand, x in ((1, -0.2), (2, 0.25)))
ODD = bytearray(encode_poses([R(1, (0, 0, 0))], server_time_us=1))
ODD[16], ODD[18], ODD[20:24] = 20, 101, struct.pack("<f", float("nan"))
# (source port, destination port, datagram, expected fields, expected expert message or "")
CAPTURE = [
    (5000, 21110, encode_poses([R(1, (1.5, 0, 0), charging=True, battery=80)], 1),
     {"vantrels.version": "1", "vantrels.record.point": "1", "vantrels.record.charging": "1",
      "vantrels.record.battery": "80", "vantrels.record.position.x": "1.5", "vantrels.smoothing_ms": ""}, ""),
    (5000, 21110, encode_poses([R("waist", (0, 1, 0), (0, 0, 0, 2), head_offset=(0, 0, 0.5))], 2),
     {"vantrels.version": "2", "vantrels.record.rotation.w": "2", "vantrels.record.head_offset.z": "0.5",
      "vantrels.record.head_relative": ""}, ""),
    (5000, 21110, encode_poses([R(0, (0, 1.7, 0)), R(5, (0, 0, 0), valid=False, head_relative=True)], 3, 20),
     {"vantrels.count": "2", "vantrels.smoothing_ms": "20", "vantrels.record.point": "0,5",
      "vantrels.record.valid": "1,0", "vantrels.record.head_relative": "0,1", "vantrels.server_time_us": ""}, ""),
    (5000, 21110, encode_poses([R(5, (0, 0, 0))], 4, 7, server_time_us=123456),
     {"vantrels.server_time_us": "123456", "vantrels.settings.prediction": "1", "vantrels.settings.adaptive": "0",
      "vantrels.record.battery": "255"}, ""),
    (21110, 5000, REPORT, {"vantrels.type": "2", "vantrels.headset.valid": "1", "vantrels.headset.position.y": "1.7",
                           "vantrels.controller.hand": "1,2", "vantrels.controller.position.x": "-0.2,0.25"}, ""),
    (40000, 40001, encode_poses([R(17, (0, 0, 0))], 4, server_time_us=9, prediction=False, adaptive=True),
     {"vantrels.record.point": "17", "vantrels.settings.prediction": "0", "vantrels.settings.adaptive": "1"}, ""),
    (5000, 21110, b"VNTR\x04", {}, "shorter than the 8-byte header"),
    (5000, 21110, b"VNTR\x05\x01\x00\x00" + bytes(8), {"vantrels.version": "5"}, "takes versions 1 to 4"),
    (5000, 21110, b"VNTR\x04\x03\x00\x00" + bytes(8), {"vantrels.type": "3"}, "Message type 3"),
    (5000, 21110, encode_poses([R(1, (0, 0, 0))] * 2, server_time_us=0)[:60], {}, "need 104 bytes"),
    (5000, 21110, b"VNTR\x04\x01\x2f\x00" + bytes(8 + 47 * 44), {"vantrels.count": "47"}, "drops a longer one whole"),
    (5000, 21110, encode_poses([R(1, (0, 0, 0))], 1) + bytes(5), {}, "5 bytes after the last record"),
    (5000, 21110, encode_poses([R(1, (0, 0, 0))], 1) + bytes(2008), {}, "2008 bytes after the last record"),
    (5000, 21110, encode_poses([R(1, (0, 0, 0))], 1) + bytes(2009), {"vantrels.record.point": "1"},
     "2049 bytes: the driver reads 2048 bytes of a datagram and drops a longer one whole"),
    (5000, 21110, bytes(ODD), {"vantrels.record.point": "20", "vantrels.record.battery": "101"},
     "Body point 20 does not exist (0 to 19): no tracker,Battery above 100 %,A number is not finite"),
    (5000, 21110, b"hello", {"vantrels.version": ""}, "No VNTR magic"),
]  # fmt: skip
# Captured with a snap length of 128 bytes: 100 bytes of each datagram.
CUT = [
    (5000, 21110, encode_poses([R(2, (0, 0, 0)), R(3, (0, 0, 0)), R(4, (0, 0, 0))], server_time_us=1),
     {"vantrels.count": "3", "vantrels.record.point": "2"}, "Captured 100 of the datagram's 148 bytes"),
    (5000, 21110, encode_poses([R(1, (0, 0, 0))], 1) + bytes(2009), {"vantrels.record.point": "1"},
     "Captured 100 of the datagram's 2049 bytes (the capture's snap length): the rest is not shown,2049 bytes: the"),
]  # fmt: skip
FIELDS = sorted({field for case in CAPTURE + CUT for field in case[3]}) + ["_ws.expert.message"]


# Raw IPv4 link type: IP and UDP headers (checksums left out) around each datagram.
def write_pcap(path, packets):
    out = [struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, 101)]
    for n, (source, destination, data) in enumerate(packets):
        udp = struct.pack(">HHHH", source, destination, 8 + len(data), 0) + data
        ip = struct.pack(">BBHIBBH4s4s", 0x45, 0, 20 + len(udp), 0, 64, 17, 0, b"\x7f\0\0\1", b"\x7f\0\0\1") + udp
        out.append(struct.pack("<IIII", n, 0, len(ip), len(ip)) + ip)
    path.write_bytes(b"".join(out))


def test_tshark_decodes_every_field_and_warns(tmp_path):
    if shutil.which("tshark") is None:
        missing("tshark (scripts/setup test installs it)")
    write_pcap(tmp_path / "full.pcap", [c[:3] for c in CAPTURE])
    write_pcap(tmp_path / "whole.pcap", [c[:3] for c in CUT])
    subprocess.run(["editcap", "-s", "128", tmp_path / "whole.pcap", tmp_path / "cut.pcap"], check=True, timeout=60)
    command = ["tshark", "-X", f"lua_script:{SOURCE}/tools/wireshark/vantrels.lua", "-T", "fields", "-E", "separator=|",
               "-E", "occurrence=a", "-E", "aggregator=,"] + [a for f in FIELDS for a in ("-e", f)]  # fmt: skip
    results = [subprocess.run(command + ["-r", tmp_path / f"{name}.pcap"], capture_output=True, text=True, timeout=60)
               for name in ("full", "cut")]  # fmt: skip
    lines = [line for run in results for line in run.stdout.splitlines()]
    assert all(run.returncode == 0 for run in results) and len(lines) == len(CAPTURE + CUT), [r.stderr for r in results]
    for line, (_, _, data, expected, expert) in zip(lines, CAPTURE + CUT):
        decoded = dict(zip(FIELDS, line.split("|")))
        for field, value in expected.items():
            assert decoded[field] == value, (data[:16], field)
        assert (expert in decoded["_ws.expert.message"]) and (expert != "") == (decoded["_ws.expert.message"] != "")
