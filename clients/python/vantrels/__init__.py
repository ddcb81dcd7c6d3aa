"""Client library for the Vantrels SteamVR driver: tell it where the body points are, hear back
where the headset and the controllers are.

    import vantrels
    with vantrels.Client() as client:
        client.send([vantrels.Record("left_foot", (0.1, 0.1, -0.2))])
        report = client.receive(timeout=0.1)
"""

from .client import Client
from .protocol import (
    BODY_POINTS,
    DEFAULT_PORT,
    HANDS,
    MAX_DATAGRAM,
    NO_BATTERY,
    Controller,
    HostReport,
    Record,
    body_point,
    decode_host_report,
    encode_poses,
    max_records,
    serial_number,
)

__version__ = "0.1.0"
__all__ = [
    "BODY_POINTS", "DEFAULT_PORT", "HANDS", "MAX_DATAGRAM", "NO_BATTERY", "Client", "Controller", "HostReport",
    "Record", "body_point", "decode_host_report", "encode_poses", "max_records", "serial_number",
]  # fmt: skip
