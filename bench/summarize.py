#!/usr/bin/env python3
"""Reads the benchmark programs' lines ("sample BENCH program|floor MS", "failed ...") from stdin,
passes every other line through, and prints each benchmark's medians, spread and ratio, then a table.
Exits 1 when a benchmark asked for has no ratio."""
import statistics
import sys

# Order, name as printed, and the goal for the ratio of program to floor.
BENCHMARKS = [
    ("window", "window up", 1.3),
    ("refresh", "refresh", 1.05),
    ("install", "first install", 1.5),
    ("reinstall", "reinstall", 1.05),
]


def spread(values):
    """The range of the samples as a share of their median, in percent."""
    median = statistics.median(values)
    return 100.0 * (max(values) - min(values)) / median if median else 0.0


def main():
    asked = sys.argv[1].split(",") if len(sys.argv) > 1 else [b[0] for b in BENCHMARKS]
    samples = {}
    failures = []
    for line in sys.stdin:
        words = line.split()
        if len(words) == 4 and words[0] == "sample":
            samples.setdefault((words[1], words[2]), []).append(float(words[3]))
        elif words and words[0] == "failed":
            failures.append(line.strip())
            print(line, end="")
        else:
            print(line, end="")
        sys.stdout.flush()
    rows = []
    missing = []
    for key, name, goal in BENCHMARKS:
        if key not in asked:
            continue
        program, floor = samples.get((key, "program")), samples.get((key, "floor"))
        if not program or not floor or statistics.median(floor) <= 0:
            missing.append(name)
            continue
        p, f = statistics.median(program), statistics.median(floor)
        ratio = p / f
        print(f"bench {name}: program median {p:.1f} ms ({len(program)} runs, spread {spread(program):.0f}%), "
              f"floor median {f:.1f} ms ({len(floor)} runs, spread {spread(floor):.0f}%), "
              f"ratio {ratio:.3f} (goal <= {goal})")
        rows.append((name, p, f, ratio, goal))
    print()
    print(f"| {'benchmark':<13} | {'program ms':>10} | {'floor ms':>10} | {'ratio':>6} | {'goal':>6} |     |")
    print(f"|{'-' * 15}|{'-' * 12}|{'-' * 12}|{'-' * 8}|{'-' * 8}|-----|")
    for name, p, f, ratio, goal in rows:
        verdict = "met" if ratio <= goal else "over"
        print(f"| {name:<13} | {p:>10.1f} | {f:>10.1f} | {ratio:>6.3f} | {'<= ' + str(goal):>6} | {verdict:<4}|")
    for name in missing:
        print(f"bench {name}: no ratio (a side has no successful run)", file=sys.stderr)
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
