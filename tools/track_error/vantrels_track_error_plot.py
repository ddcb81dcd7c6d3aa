"""Draws the picture of vantrels-track-error --plot from the CSV the tool writes: the position
error of every tracker over time, and one tracker's submitted position against the truth.

    python3 vantrels_track_error_plot.py DATA.csv OUT.png|OUT.svg --tracker VANTRL-CHEST [--title TEXT]
"""

import argparse
import csv
import math
import os
import sys

GAP_S = 0.1  # a longer pause between compared poses (a tracker lost) breaks the line


def load_matplotlib():
    try:
        import matplotlib
    except ImportError:
        # Debian's python3-matplotlib belongs to the system interpreter, which need not be the
        # python3 found first on the PATH.
        system = "/usr/bin/python3"
        here = os.path.realpath(sys.executable)
        if os.path.exists(system) and here != os.path.realpath(system) and "VANTRELS_PLOT_RETRY" not in os.environ:
            os.environ["VANTRELS_PLOT_RETRY"] = "1"
            os.execv(system, [system] + sys.argv)
        sys.exit("vantrels-track-error: drawing needs matplotlib: install python3-matplotlib (scripts/setup demo)")
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    return plt


def with_gaps(times, *columns):
    """Inserts NaN where the poses pause, so that the lines do not bridge the pause."""
    out = [[] for _ in range(len(columns) + 1)]
    for i, t in enumerate(times):
        if i > 0 and t - times[i - 1] > GAP_S:
            for series in out:
                series.append(math.nan)
        out[0].append(t)
        for series, column in zip(out[1:], columns):
            series.append(column[i])
    return out


def main():
    parser = argparse.ArgumentParser(description="Draws vantrels-track-error's plot.")
    parser.add_argument("data")
    parser.add_argument("output")
    parser.add_argument("--tracker", required=True, help="serial of the tracker drawn against the truth")
    parser.add_argument("--title", default="")
    args = parser.parse_args()
    plt = load_matplotlib()

    series = {}
    with open(args.data, newline="") as f:
        for row in csv.DictReader(f):
            series.setdefault(row["tracker"], []).append({k: v if k == "tracker" else float(v) for k, v in row.items()})
    if args.tracker not in series:
        sys.exit(f"vantrels-track-error: {args.data} holds no poses of {args.tracker}")

    def short(serial):
        return serial.replace("VANTRL-", "").lower()

    figure, (errors, positions) = plt.subplots(2, 1, figsize=(12, 9), sharex=True)
    colours = plt.get_cmap("tab20")  # 19 trackers, each its own colour
    for n, (serial, rows) in enumerate(series.items()):
        t, e = with_gaps([r["t_s"] for r in rows], [r["position_error_mm"] for r in rows])
        errors.plot(t, e, linewidth=0.8, color=colours(n % 20), label=short(serial))
    errors.set_ylabel("position error (mm)")
    errors.set_title("Position error per tracker" + (f" ({args.title})" if args.title else ""), fontsize="medium")
    errors.legend(ncol=5, fontsize="x-small", loc="upper right")
    errors.grid(alpha=0.3)

    rows = series[args.tracker]
    columns = [[r[k] for r in rows] for k in ("x", "y", "z", "true_x", "true_y", "true_z")]
    t, x, y, z, tx, ty, tz = with_gaps([r["t_s"] for r in rows], *columns)
    for name, submitted, truth, colour in (("x", x, tx, "tab:red"), ("y", y, ty, "tab:green"), ("z", z, tz, "tab:blue")):
        positions.plot(t, truth, color=colour, linewidth=2.5, alpha=0.35, label=f"{name} true")
        positions.plot(t, submitted, color=colour, linewidth=0.9, label=f"{name} submitted")
    positions.set_title(f"{short(args.tracker)}: submitted position against the truth", fontsize="medium")
    positions.set_ylabel("position (m)")
    positions.set_xlabel("time since the first compared pose (s)")
    positions.legend(ncol=3, fontsize="x-small", loc="upper right")
    positions.grid(alpha=0.3)
    figure.tight_layout()
    figure.savefig(args.output, dpi=100)  # PNG or SVG by the name's extension


if __name__ == "__main__":
    main()
