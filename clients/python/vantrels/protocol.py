"""The Vantrels wire protocol: POSES messages to the driver and the host pose report back.

Every multi-byte field is little-endian, every real number a single-precision float, positions
are metres in SteamVR's tracking space and rotations are quaternions in the order x, y, z, w
(docs/protocol.md in the Vantrels repository has the byte tables).
"""

from __future__ import annotations

import math
import struct
import time
from dataclasses import dataclass
from typing import Iterable, Optional, Sequence, Tuple, Union

MAGIC = b"VNTR"
DEFAULT_PORT = 21110
MAX_DATAGRAM = 2048  # the driver reads no more than this of a datagram
POSES = 1
HOST_POSES = 2
NO_BATTERY = 255
MAX_CONTROLLERS = 16

# Body point names by index; 0 is the head (the headset's point), 1 to 19 become trackers.
BODY_POINTS = (
    "head", "chest", "waist", "left_knee", "right_knee", "left_foot", "right_foot", "left_elbow",
    "right_elbow", "neck", "upper_chest", "hip", "left_shoulder", "right_shoulder", "left_forearm",
    "right_forearm", "left_hand", "right_hand", "left_shin", "right_shin",
)  # fmt: skip
HANDS = ("none", "left", "right")

HEADER_SIZE = {1: 8, 2: 8, 3: 8, 4: 16}
RECORD_SIZE = {1: 32, 2: 44, 3: 44, 4: 44}
_FLOAT_MAX = 3.4028234663852886e38

Vec3 = Tuple[float, float, float]
Quat = Tuple[float, float, float, float]


def body_point(point: Union[int, str]) -> int:
    """The index 0 to 19 of a body point given by number or by name.

    Names may be written "left_foot", "left-foot", "Left Foot" or as the tracker's serial number
    "VANTRL-LEFT-FOOT".
    """
    if isinstance(point, int) and not isinstance(point, bool):
        if 0 <= point < len(BODY_POINTS):
            return point
        raise ValueError(f"body point index {point} is outside 0 to {len(BODY_POINTS) - 1}")
    if isinstance(point, str):
        key = point.strip().lower().replace("-", "_").replace(" ", "_")
        key = key[len("vantrl_"):] if key.startswith("vantrl_") else key
        if key in BODY_POINTS:
            return BODY_POINTS.index(key)
    raise ValueError(f"unknown body point {point!r}: give 0 to 19 or one of {', '.join(BODY_POINTS)}")


def serial_number(point: Union[int, str]) -> str:
    """The serial number the driver gives the tracker of a body point: "VANTRL-LEFT-FOOT"."""
    return "VANTRL-" + BODY_POINTS[body_point(point)].upper().replace("_", "-")


def max_records(version: int) -> int:
    """How many records one POSES message of this version can carry: 63 in version 1, else 46."""
    _check_version(version)
    return (MAX_DATAGRAM - HEADER_SIZE[version]) // RECORD_SIZE[version]


@dataclass
class Record:
    """One body point of a POSES message."""

    point: Union[int, str]  # index 0 to 19 or name, see body_point()
    position: Sequence[float]  # x, y, z in metres
    rotation: Sequence[float] = (0.0, 0.0, 0.0, 1.0)  # x, y, z, w; need not be normalised
    valid: bool = True  # the server tracks this point now
    charging: bool = False
    battery: Optional[int] = None  # percent 0 to 100; None: no battery information
    head_relative: bool = False  # versions 3 and 4: keep the point glued to the headset
    head_offset: Sequence[float] = (0.0, 0.0, 0.0)  # versions 2 to 4, read from the head record


def encode_poses(
    records: Iterable[Record] = (),
    version: int = 4,
    smoothing_ms: int = 0,
    server_time_us: Optional[int] = None,
    prediction: Optional[bool] = None,
    adaptive: Optional[bool] = None,
) -> bytes:
    """One POSES datagram holding the records in order.

    smoothing_ms (0 to 255, 0 = none) needs version 3 or 4. Version 4 carries the server's clock
    in microseconds (default: this process's monotonic clock; it wraps at 2**32) and the
    prediction (default on) and adaptive smoothing (default off) switches; giving any of them for
    an older version is an error rather than a setting that would silently not arrive.
    Raises ValueError for anything the driver would not take as meant.
    """
    _check_version(version)
    if isinstance(records, Record):
        raise ValueError("records must be a list of vantrels.Record: put the one record in [ ]")
    records = list(records)
    if len(records) > max_records(version):
        raise ValueError(
            f"{len(records)} records do not fit in one {MAX_DATAGRAM}-byte datagram "
            f"(version {version} carries at most {max_records(version)}): send them in several messages"
        )
    _check_int("smoothing_ms", smoothing_ms, 0, 255)
    if version < 3 and smoothing_ms:
        raise ValueError("smoothing_ms needs version 3 or 4")
    if version < 4 and (server_time_us, prediction, adaptive) != (None, None, None):
        raise ValueError("server_time_us, prediction and adaptive need version 4")
    out = bytearray(MAGIC + bytes((version, POSES, len(records), smoothing_ms)))
    if version == 4:
        if server_time_us is None:
            server_time_us = time.monotonic_ns() // 1000
        _check_int("server_time_us", server_time_us, 0, None)
        flags = (prediction is not False) | (bool(adaptive) << 1)
        out += struct.pack("<IB3x", server_time_us & 0xFFFFFFFF, flags)
    for record in records:
        out += _encode_record(record, version)
    return bytes(out)


def _encode_record(r: Record, version: int) -> bytes:
    if not isinstance(r, Record):
        raise ValueError(f"expected a vantrels.Record, got {type(r).__name__}")
    index = body_point(r.point)
    battery = NO_BATTERY if r.battery is None else r.battery
    if battery != NO_BATTERY:
        _check_int("battery", battery, 0, 100)
    if r.head_relative and version < 3:
        raise ValueError("head_relative needs version 3 or 4")
    position = _floats("position", r.position, 3)
    rotation = _floats("rotation", r.rotation, 4)
    offset = _floats("head_offset", r.head_offset, 3)
    if not any(rotation):
        raise ValueError(f"the rotation of {BODY_POINTS[index]} is all zeros")
    if any(offset) and version < 2:
        raise ValueError("head_offset needs version 2 or later")
    flags = bool(r.valid) | (bool(r.charging) << 1) | (bool(r.head_relative) << 2)
    data = struct.pack("<BBBx3f4f", index, flags, battery, *position, *rotation)
    return data + struct.pack("<3f", *offset) if version >= 2 else data


def _check_version(version: int) -> None:
    if version not in HEADER_SIZE or isinstance(version, bool):
        raise ValueError(f"version {version!r}: POSES messages have versions 1 to 4")


def _check_int(name: str, value: int, low: int, high: Optional[int]) -> None:
    if not isinstance(value, int) or isinstance(value, bool) or value < low or (high is not None and value > high):
        raise ValueError(f"{name} must be a whole number from {low}" + (f" to {high}" if high is not None else "")
                         + f", got {value!r}")


def _floats(name: str, values: Sequence[float], n: int) -> Tuple[float, ...]:
    try:
        out = tuple(float(v) for v in values)
    except (TypeError, ValueError):
        raise ValueError(f"{name} must be {n} numbers, got {values!r}") from None
    if len(out) != n:
        raise ValueError(f"{name} must be {n} numbers, got {len(out)}")
    if not all(math.isfinite(v) and abs(v) <= _FLOAT_MAX for v in out):
        raise ValueError(f"{name} holds a number that is not finite as a 32-bit float: {values!r}")
    return out


@dataclass(frozen=True)
class Controller:
    """A hand controller as the driver reports it."""

    role: int  # 0 no hand, 1 left hand, 2 right hand
    position: Vec3
    rotation: Quat  # x, y, z, w

    @property
    def hand(self) -> str:
        return HANDS[self.role] if self.role < len(HANDS) else "none"


@dataclass(frozen=True)
class HostReport:
    """The driver's report of the headset and the controllers, sent once per SteamVR frame."""

    headset_valid: bool
    headset_position: Vec3  # zero when not valid
    headset_rotation: Quat  # x, y, z, w; (0, 0, 0, 1) when not valid
    controllers: Tuple[Controller, ...]  # in SteamVR's device order

    def hand(self, side: str) -> Optional[Controller]:
        """The first controller held in the "left" or "right" hand, or None."""
        return next((c for c in self.controllers if c.hand == side), None)


def decode_host_report(data: bytes) -> HostReport:
    """Decodes a host pose report; ValueError for anything else."""
    data = bytes(data)
    if len(data) < 8 or data[:4] != MAGIC:
        raise ValueError(f"not a Vantrels datagram ({len(data)} bytes)")
    if data[5] != HOST_POSES:
        raise ValueError(f"message type {data[5]} is not a host pose report ({HOST_POSES})")
    if data[4] != 4:
        raise ValueError(f"host pose report version {data[4]}; this client reads version 4")
    n = data[6]
    if n > MAX_CONTROLLERS or len(data) != 40 + 32 * n:
        raise ValueError(f"a host pose report with {n} controllers must be {40 + 32 * n} bytes, got {len(data)}")
    controllers = tuple(
        Controller(data[at + 1], struct.unpack_from("<3f", data, at + 4), struct.unpack_from("<4f", data, at + 16))
        for at in range(40, 40 + 32 * n, 32)
    )
    return HostReport(
        data[8] != 0, struct.unpack_from("<3f", data, 12), struct.unpack_from("<4f", data, 24), controllers
    )
