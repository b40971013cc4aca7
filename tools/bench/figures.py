#!/usr/bin/env python3
"""The bench's arithmetic: samples in, one line of figures out.

A sample file holds one sample a line: a number, or a word for a sample that
never reached its end condition ("failed", or the reason). A failed sample is
counted and named, never turned into a number, and a goal is met only when
no sample failed.

usage:
  figures.py samples WHAT UNIT [STAT GOAL]... < FILE
      "7 starts: 5 measured, median 45 ms (33-74); 2 failed (goal median <= 1500: MISSED)"
      STAT is the figure a goal is read from: median or p95; a GOAL of "-"
      states the figures without a goal.
  figures.py pairs WHAT GOAL < FILE
      each line "A B", the program's and the reference's figure of one pair
      measured one after the other; the goal is read from the median of the
      per-pair ratios A / B.
"""
import sys


def parse(lines):
    """The measured samples and the number of failed ones."""
    measured, failed = [], 0
    for line in lines:
        line = line.strip()
        if not line:
            continue
        try:
            measured.append(float(line))
        except ValueError:
            failed += 1
    return measured, failed


def median(values):
    ordered = sorted(values)
    middle = len(ordered) // 2
    return ordered[middle] if len(ordered) % 2 else (ordered[middle - 1] + ordered[middle]) / 2


def p95(values):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, max(0, round(len(ordered) * 0.95) - 1))]


def pair_ratios(lines):
    """The ratio A / B of each pair, and the number of pairs with a failed or zero side."""
    ratios, failed = [], 0
    for line in lines:
        sides = line.split()
        if not sides:
            continue
        a, a_failed = parse(sides[:1])
        b, b_failed = parse(sides[1:2])
        if a_failed or b_failed or not a or not b or b[0] <= 0:
            failed += 1
        else:
            ratios.append(a[0] / b[0])
    return ratios, failed


def verdict(figure, goal, failed):
    """A goal is met by a figure at or under it, and only when nothing failed."""
    return "met" if figure is not None and not failed and figure <= goal else "MISSED"


def plain(value):
    return f"{value:.0f}" if abs(value) >= 10 else f"{value:.1f}"


def samples_line(what, unit, goals, lines):
    """goals: (stat, goal) pairs, stat median or p95; the 95th percentile is
    stated when a goal is read from it."""
    measured, failed = parse(lines)
    total = len(measured) + failed
    stats = {"median": median, "p95": p95}
    verdicts = [
        f"{stat} <= {goal:g}: {verdict(stats[stat](measured) if measured else None, goal, failed)}"
        for stat, goal in goals
    ]
    goal_text = f" (goal {', '.join(verdicts)})" if verdicts else ""
    if not measured:
        return f"{total} {what}: none measured; {failed} failed{goal_text}"
    text = (
        f"{total} {what}: {len(measured)} measured, median {plain(median(measured))} {unit} "
        f"({plain(min(measured))}-{plain(max(measured))})"
    )
    if any(stat == "p95" for stat, _ in goals):
        text += f", 95th percentile {plain(p95(measured))} {unit}"
    return f"{text}; {failed} failed{goal_text}"


def pairs_line(what, goal, lines):
    ratios, failed = pair_ratios(lines)
    total = len(ratios) + failed
    if not ratios:
        return f"{total} {what}: none measured; {failed} failed (goal <= {goal:g}: MISSED)"
    figure = median(ratios)
    return (
        f"{total} {what}: ratio median {figure:.2f} ({min(ratios):.2f}-{max(ratios):.2f}); "
        f"{failed} failed (goal <= {goal:g}: {verdict(figure, goal, failed)})"
    )


def main(argv):
    lines = sys.stdin.read().splitlines()
    if len(argv) >= 4 and len(argv) % 2 == 0 and argv[1] == "samples":
        goals = [(stat, float(goal)) for stat, goal in zip(argv[4::2], argv[5::2]) if goal != "-"]
        print(samples_line(argv[2], argv[3], goals, lines))
    elif len(argv) == 4 and argv[1] == "pairs":
        print(pairs_line(argv[2], float(argv[3]), lines))
    else:
        print(__doc__, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
