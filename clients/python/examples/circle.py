"""Makes the left foot tracker draw a circle on the floor and prints the headset the driver reports.

    python3 examples/circle.py [--port 21110] [--seconds 10] [--radius 0.3]
"""

import argparse
import math
import os
import sys
import time

try:
    import vantrels
except ImportError:  # run from the source folder without installing
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
    import vantrels


def describe(report):
    if report is None:
        return "no host pose report yet (is the driver running?)"
    if report.headset_valid:
        x, y, z = report.headset_position
        text = f"headset at ({x:.3f}, {y:.3f}, {z:.3f})"
    else:
        text = "headset not tracked"
    hands = [f"{c.hand} ({c.position[0]:.2f}, {c.position[1]:.2f}, {c.position[2]:.2f})" for c in report.controllers]
    return text + f"; {len(report.controllers)} controller(s)" + (": " + ", ".join(hands) if hands else "")


def main():
    parser = argparse.ArgumentParser(description="The left foot tracker draws a circle on the floor.")
    parser.add_argument("--port", type=int, default=vantrels.DEFAULT_PORT, help="the driver's UDP port")
    parser.add_argument("--seconds", type=float, default=10.0, help="how long to run")
    parser.add_argument("--radius", type=float, default=0.3, help="circle radius in metres")
    parser.add_argument("--period", type=float, default=4.0, help="seconds per turn")
    parser.add_argument("--rate", type=float, default=60.0, help="messages per second")
    args = parser.parse_args()

    sent = heard = 0
    last = None
    with vantrels.Client(port=args.port) as client:
        start = time.monotonic()
        next_print = start
        for k in range(int(args.seconds * args.rate)):
            angle = 2.0 * math.pi * (time.monotonic() - start) / args.period
            # Around the spot below the origin, at ankle height, the toes along the circle.
            position = (args.radius * math.cos(angle), 0.1, args.radius * math.sin(angle))
            yaw = -angle - math.pi / 2
            rotation = (0.0, math.sin(yaw / 2), 0.0, math.cos(yaw / 2))
            client.send([vantrels.Record("left_foot", position, rotation, battery=90)])
            sent += 1
            report = client.receive()
            if report is not None:
                last, heard = report, heard + 1
            if time.monotonic() >= next_print:
                print(f"[{time.monotonic() - start:4.1f} s] {describe(last)}", flush=True)
                next_print += 1.0
            time.sleep(max(0.0, start + (k + 1) / args.rate - time.monotonic()))
        last = client.receive(0.1) or last
    print(f"sent {sent} messages, heard {heard} host pose reports; last: {describe(last)}")
    return 0 if heard > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
