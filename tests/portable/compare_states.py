#!/usr/bin/env python3
"""Compares two vantrels-replay outputs of the same operations, run against different maths libraries.

    compare_states.py REFERENCE.jsonl OTHER.jsonl

Glibc's acos, atan2 and sincos differ in the last bit between versions (and between CPUs with and
without FMA), so states may differ there, and only there: every line must have the same flags,
counts and absent values, and each number must lie within 1e-12 (relative above 1) of the
reference's. Prints how many states differ and by how much; exit status 1 otherwise.
"""

import json
import sys


def close(a, b):
    """Same structure, same flags and counts, floats within 1e-12; returns the largest gap or None."""
    number = (int, float)
    if isinstance(a, number) and isinstance(b, number) and not isinstance(a, bool) and not isinstance(b, bool):
        gap = abs(a - b) / max(1.0, abs(a))
        return gap if gap <= 1e-12 else None
    if isinstance(a, (dict, list)) and type(a) is type(b) and len(a) == len(b):
        pairs = zip(a.values(), b.values()) if isinstance(a, dict) else zip(a, b)
        gaps = [close(x, y) for x, y in pairs]
        return None if None in gaps or (isinstance(a, dict) and a.keys() != b.keys()) else max(gaps, default=0.0)
    return 0.0 if a == b and type(a) is type(b) else None


reference, other = (open(path).read().splitlines() for path in sys.argv[1:3])
if len(reference) != len(other):
    sys.exit(f"{sys.argv[2]}: {len(other)} states, the reference has {len(reference)}")
differing, largest = 0, 0.0
for n, (a, b) in enumerate(zip(reference, other), 1):
    if a != b:
        gap = close(json.loads(a), json.loads(b))
        if gap is None:
            sys.exit(f"{sys.argv[2]}: state {n} differs beyond the last bits:\n  {a}\n  {b}")
        differing, largest = differing + 1, max(largest, gap)
print(f"{differing} of {len(reference)} states differ in the last bits; largest difference {largest:.1e}")
