"""A tracking server's end of the link: POSES to the driver, host pose reports back."""

from __future__ import annotations

import select
import socket
import time
from typing import Iterable, Optional

from .protocol import DEFAULT_PORT, MAX_DATAGRAM, HostReport, Record, decode_host_report, encode_poses

# What a datagram that found nobody listening leaves behind: Linux reports it as refused, Windows
# as reset (WSAECONNRESET), on the next send or receive.
_NOBODY_LISTENED = (ConnectionRefusedError, ConnectionResetError)


class Client:
    """Sends POSES messages to the driver and hears its host pose reports on the same socket.

    The driver answers whoever sent the last datagram, so one socket does both. Send something
    (hello() sends a message without records) before you expect a report. While the driver is
    not running, sending still works and receive() simply finds nothing.
    """

    def __init__(
        self,
        port: int = DEFAULT_PORT,
        host: str = "127.0.0.1",
        version: int = 4,
        smoothing_ms: int = 0,
        prediction: Optional[bool] = None,
        adaptive: Optional[bool] = None,
    ) -> None:
        # Checks the settings now rather than at the first send.
        encode_poses((), version, smoothing_ms, 0 if version == 4 else None, prediction, adaptive)
        self.version, self.smoothing_ms = version, smoothing_ms
        self.prediction, self.adaptive = prediction, adaptive
        self.malformed = 0  # datagrams received that were not host pose reports
        self._socket = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        # Connected: send() goes to the driver and only the driver's datagrams are received.
        self._socket.connect((host, port))

    def send(self, records: Iterable[Record] = (), server_time_us: Optional[int] = None) -> int:
        """Sends one POSES message; returns its size. ValueError for bad records."""
        data = encode_poses(records, self.version, self.smoothing_ms, server_time_us, self.prediction, self.adaptive)
        try:
            return self._socket.send(data)
        except _NOBODY_LISTENED:  # an earlier datagram found nobody listening
            return self._socket.send(data)

    def hello(self) -> int:
        """Makes the client known to the driver with a message without records."""
        return self.send(())

    def receive(self, timeout: float = 0.0) -> Optional[HostReport]:
        """The newest report that has arrived, waiting up to timeout seconds for one; else None."""
        deadline = time.monotonic() + timeout
        latest = None
        while True:
            wait = 0.0 if latest is not None else max(0.0, deadline - time.monotonic())
            if not select.select([self._socket], [], [], wait)[0]:
                return latest
            try:
                data = self._socket.recv(MAX_DATAGRAM)
            except _NOBODY_LISTENED:  # nobody listens on the driver's port (yet)
                continue
            try:
                latest = decode_host_report(data)
            except ValueError:
                self.malformed += 1

    def wait_for_report(self, timeout: float = 5.0, interval: float = 0.1) -> HostReport:
        """Says hello every interval seconds until the driver answers; TimeoutError after timeout."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            self.hello()
            report = self.receive(min(interval, max(0.0, deadline - time.monotonic())))
            if report is not None:
                return report
        raise TimeoutError(f"no host pose report within {timeout} s: is the driver running on this port?")

    def close(self) -> None:
        self._socket.close()

    def __enter__(self) -> "Client":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()
