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

TOLERANCE = 1e-12


def skeleton(state):
    """The state with every number zeroed: flags, counts and absent values."""
    return {k: [0.0 if isinstance(x, float) else x for x in v] if isinstance(v, list) else 0.0 if isinstance(v, float) else v
            for k, v in state.items()}


def numbers(state):
    for key, value in state.items():
        for i, v in enumerate(value if isinstance(value, list) else [value]):
            if isinstance(v, float):
                yield f"{key}[{i}]", v


def main(reference_path, other_path):
    with open(reference_path) as f:
        reference = f.read().splitlines()
    with open(other_path) as f:
        other = f.read().splitlines()
    if len(reference) != len(other):
        sys.exit(f"{other_path}: {len(other)} states, the reference has {len(reference)}")
    differing, largest, where = 0, 0.0, "-"
    for n, (a, b) in enumerate(zip(reference, other), 1):
        if a == b:
            continue
        differing += 1
        sa, sb = json.loads(a), json.loads(b)
        if skeleton(sa) != skeleton(sb):
            sys.exit(f"{other_path}: state {n} differs beyond the last bits:\n  {a}\n  {b}")
        for (key, x), (_, y) in zip(numbers(sa), numbers(sb)):
            gap = abs(x - y) / max(1.0, abs(x))
            if gap > TOLERANCE:
                sys.exit(f"{other_path}: state {n}, {key}: {y!r} against {x!r}")
            if gap > largest:
                largest, where = gap, key
    print(f"{differing} of {len(reference)} states differ in the last bits; largest difference {largest:.1e} ({where})")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
