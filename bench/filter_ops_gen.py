#!/usr/bin/env python3
"""Writes a long pseudo-random stream of pose filter operations for vantrels-replay.

The stream exercises every path of the filter: prediction on and off, smoothing with and without
adaptive time constants, samples late, repeated and far in the past, jumps past the restart
distance, head-relative flag switches and absent anchors, absent head points, frame intervals of
0 and 0.1 s, sample times too close for a slope, frames long after the newest sample, rotations
that are unnormalised, on the far hemisphere or zero, and resets and new filters.

Used to check that a change meant to make the filter faster leaves every number as it was:

    bench/filter_ops_gen.py --ops 60000 --seed 1 > ops.jsonl
    vantrels-replay < ops.jsonl > before.jsonl      # with the old build
    vantrels-replay < ops.jsonl > after.jsonl       # with the new build
    cmp before.jsonl after.jsonl
"""

import argparse
import json
import math
import random
import sys


def settings(rng):
    roll = rng.random()
    return {
        "prediction": rng.random() > 0.15,
        "smoothingSeconds": 0.0 if roll < 0.3 else rng.choice([0.001, 0.01, 0.03, 0.05, 0.255, rng.uniform(0, 0.3)]),
        "adaptiveSmoothing": rng.random() > 0.5,
    }


class Motion:
    """A tracker wandering smoothly, with noise, and the head point above it."""

    def __init__(self, rng):
        self.rng = rng
        self.time = rng.uniform(0.0, 100.0)
        self.pos = [rng.uniform(-1, 1), rng.uniform(0, 2), rng.uniform(-1, 1)]
        self.vel = [0.0, 0.0, 0.0]
        self.rv = [rng.uniform(-2, 2) for _ in range(3)]
        self.head = [0.0, 1.6, 0.0]

    def advance(self, dt):
        rng = self.rng
        self.time += dt
        self.vel = [v * 0.9 + rng.uniform(-0.5, 0.5) for v in self.vel]
        self.pos = [p + v * dt for p, v in zip(self.pos, self.vel)]
        self.rv = [r + rng.uniform(-0.1, 0.1) for r in self.rv]
        self.head = [h + rng.uniform(-0.004, 0.004) for h in self.head]

    def rotation(self):
        rng = self.rng
        a = math.sqrt(sum(r * r for r in self.rv))
        if a < 1e-12:
            q = [1.0, 0.0, 0.0, 0.0]
        else:
            s = math.sin(a / 2) / a
            q = [math.cos(a / 2)] + [r * s for r in self.rv]
        roll = rng.random()
        if roll < 0.1:
            q = [-c for c in q]  # the far hemisphere
        elif roll < 0.2:
            scale = rng.choice([0.5, 2.0, 1e-3, 37.0])
            q = [c * scale for c in q]
        elif roll < 0.205:
            q = [0.0, 0.0, 0.0, 0.0]
        elif roll < 0.21:
            q = [1e-13, 0.0, 0.0, 0.0]
        return q


def generate(ops, seed, out):
    rng = random.Random(seed)
    m = Motion(rng)
    head_relative = rng.random() < 0.5
    cur = settings(rng)
    newest = m.time
    burst = 0  # samples left in a burst that fills the whole window
    written = 0
    while written < ops:
        roll = rng.random()
        if roll < 0.01:
            cur = settings(rng)
        if roll < 0.003:
            out.write('{"op":"reset"}\n')
            written += 1
            continue
        if roll < 0.004:
            out.write('{"op":"new"}\n')
            written += 1
            continue
        if rng.random() < 0.01:
            head_relative = not head_relative
        if burst > 0 or rng.random() < 0.4:
            # One sample, mostly at the server's ~60 Hz.
            r = rng.random()
            if burst == 0 and rng.random() < 0.005:
                burst = rng.randint(10, 30)
            if burst > 0:
                burst -= 1
                r = 0.0
                m.advance(rng.uniform(0.0015, 0.003))
                t = m.time
            elif r < 0.75:
                m.advance(rng.choice([1 / 60, 1 / 60 + rng.uniform(-0.004, 0.004), rng.uniform(0.0, 0.05)]))
                t = m.time
            elif r < 0.83:
                t = newest - rng.choice([0.0, rng.uniform(0.0, 0.03)])  # repeated or late
            elif r < 0.86:
                t = newest + rng.choice([1e-5, 5e-5, 1.4e-4])  # too close for a slope
                m.time = max(m.time, t)
            elif r < 0.88:
                t = newest - rng.uniform(1.0, 3.0)  # far in the past: restart
            elif r < 0.90:
                m.advance(1 / 60)
                m.pos = [p + rng.choice([-1, 1]) * rng.uniform(0.5, 1.5) for p in m.pos]  # jump: restart
                t = m.time
            elif r < 0.92:
                m.advance(rng.uniform(0.1, 2.0))  # a pause
                t = m.time
            else:
                m.advance(1 / 60)
                t = m.time
            newest = max(newest, t)
            pos = [p + rng.uniform(-0.002, 0.002) for p in m.pos]
            anchor = None if rng.random() < 0.1 else list(m.head)
            rel = head_relative if rng.random() > 0.05 else not head_relative
            now = t + rng.choice([0.0, rng.uniform(0.0, 0.01), rng.uniform(0.0, 0.1), -rng.uniform(0.0, 0.01)])
            s = cur if rng.random() > 0.05 else settings(rng)
            op = {
                "op": "sample",
                "position": pos,
                "rotation": m.rotation(),
                "headRelative": rel,
                "headAnchor": anchor,
                "sampleTime": t,
                "now": now,
                "settings": s,
            }
        else:
            dt = rng.choice([1 / 90, 1 / 90, 1 / 90, 1 / 120, 0.0, 0.1, rng.uniform(0.0, 0.1)])
            now = newest + rng.choice([0.0, rng.uniform(0.0, 0.02), rng.uniform(0.0, 0.12), -rng.uniform(0.0, 0.02)])
            head_now = None if rng.random() < 0.1 else [h + rng.uniform(-0.01, 0.01) for h in m.head]
            step = [0.0, 0.0, 0.0] if rng.random() < 0.3 else [rng.uniform(-0.005, 0.005) for _ in range(3)]
            s = cur if rng.random() > 0.05 else settings(rng)
            op = {"op": "step", "headNow": head_now, "headStep": step, "now": now, "dt": dt, "settings": s}
        out.write(json.dumps(op, separators=(",", ":")) + "\n")
        written += 1


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--ops", type=int, default=60000)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    generate(args.ops, args.seed, sys.stdout)


if __name__ == "__main__":
    main()
