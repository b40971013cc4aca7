"""The bench's arithmetic (tools/bench/figures.py): what a failed sample does to a figure."""
import sys

sys.path.insert(0, sys.argv[1])
import figures  # noqa: E402

failures = []


def check(what, got, expected):
    if got != expected:
        failures.append(f"FAILED: {what}: expected {expected!r}, got {got!r}")


# A failed sample never enters a median, whatever word names it, and is counted.
check(
    "samples with failures",
    figures.samples_line("starts", "ms", [("median", 1500)], ["45", "33", "failed", "74", "", "50", "no paint", "40"]),
    "7 starts: 5 measured, median 45 ms (33-74); 2 failed (goal median <= 1500: MISSED)",
)
check(
    "all failed",
    figures.samples_line("starts", "ms", [("median", 1500)], ["failed", "failed"]),
    "2 starts: none measured; 2 failed (goal median <= 1500: MISSED)",
)
check(
    "two goals",
    figures.samples_line("changes", "ms", [("median", 11), ("p95", 18)], [str(v) for v in range(1, 21)]),
    "20 changes: 20 measured, median 10 ms (1.0-20), 95th percentile 19 ms; 0 failed"
    " (goal median <= 11: met, p95 <= 18: MISSED)",
)
check("even median", figures.median([4, 1, 3, 2]), 2.5)

# Pairs form ratios A / B; a pair with a failed or zero reference is a failure, not a ratio.
check("ratios", figures.pair_ratios(["30 20", "10 20", "5 failed", "failed 5", "3 0", "40 20"]), ([1.5, 0.5, 2.0], 3))
check(
    "pairs line",
    figures.pairs_line("pairs", 1.5, ["30 20", "10 20", "40 20"]),
    "3 pairs: ratio median 1.50 (0.50-2.00); 0 failed (goal <= 1.5: met)",
)

# The goal is met only with no failures, and never by nothing.
check(
    "verdict",
    [
        figures.verdict(1.0, 1.5, 0),
        figures.verdict(1.0, 1.5, 1),
        figures.verdict(None, 1.5, 0),
        figures.verdict(1.6, 1.5, 0),
    ],
    ["met", "MISSED", "MISSED", "MISSED"],
)

print("\n".join(failures) or "the bench's arithmetic holds")
sys.exit(bool(failures))
