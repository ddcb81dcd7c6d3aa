#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

Seeds are small, well-formed examples that get each target past its first checks quickly;
the fuzzer mutates them from there. Run again after changing the wire formats."""
import os
import random
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def poses(version, records, smoothing=0, stamp=0, flags=1):
    out = b"VNTR" + bytes([version, 1, len(records), smoothing])
    if version == 4:
        out += struct.pack("<IB3x", stamp, flags)
    for index, rflags, battery, pos, rot, head in records:
        out += bytes([index, rflags, battery, 0]) + struct.pack("<3f4f", *pos, *rot)
        if version >= 2:
            out += struct.pack("<3f", *head)
    return out


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def main():
    rng = random.Random(21110)
    body = [(i, 1 | (4 if i in (16, 17) else 0), 90 - i, (0.1 * i, 1.0, 0.2), (0, 0, 0, 1), (0, -0.1, 0.08))
            for i in range(0, 20)]
    for version in (1, 2, 3, 4):
        write("parse_poses", f"poses_v{version}", poses(version, body[:6], smoothing=20, stamp=123456))
    write("parse_poses", "empty_v1", poses(1, []))
    write("parse_poses", "all_points_v4", poses(4, body, smoothing=30, stamp=0xFFFFFFF0, flags=3))
    write("parse_poses", "host_report", b"VNTR" + bytes([4, 2, 0, 0]) + bytes(32))
    write("parse_poses", "short", b"VNTR\x04")
    for n in range(6):
        write("frame_loop", f"random_{n}", bytes(rng.randrange(256) for _ in range(rng.randrange(64, 2048))))
    write("frame_loop", "poses_then_frames", bytes([0, 0, 1, 0, 0, 4, 2, 0, 1]) + poses(4, body, 20, 1000) + bytes([4] * 64))
    model = os.path.join(HERE, "..", "package", "resources", "rendermodels", "vantrel")
    obj = open(os.path.join(model, "vantrel.obj"), "rb").read()[:20000]
    write("model_files", "cube", b"\x01\x01" + b"\x01" + b"o cube\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvn 0 0 1\nf 1/1/1 2/1/1 3/1/1\n")
    write("model_files", "shipped_start", b"\x01\x01\x00" + obj)
    write("model_files", "png", b"\x01\x01\x01\x00\x00\x89PNG\r\n\x1a\n")
    for n in range(4):
        write("host_report", f"random_{n}", bytes(rng.randrange(256) for _ in range(rng.randrange(100, 4000))))


if __name__ == "__main__":
    main()
