"""The time from a screen change to its first line record on each device.

Usage: latency.py CHANGES RECORDS... where CHANGES holds "time top bottom white" per change
(x11-draw --log) and each RECORDS file "time address brightness" per record (vantela-sim --log),
all times in CLOCK_MONOTONIC nanoseconds. Prints "p50-ms p95-ms changes missed".
"""
import bisect
import sys


def main(changes_path, record_paths):
    changes = [tuple(map(int, line.split())) for line in open(changes_path)]
    samples, missed = [], 0
    for path in record_paths:
        records = [tuple(map(int, line.split())) for line in open(path)]
        times = [r[0] for r in records]
        for at, top, bottom, white in changes:
            # The first record after the change of a line in its band that shows its colour
            # (each device's area starts at row 0, so address a is row a - 1).
            for t, address, bright in records[bisect.bisect_left(times, at):]:
                if t > at + 2e9:
                    missed += 1
                    break
                if top < address <= bottom and (bright > 200) == bool(white):
                    samples.append((t - at) / 1e6)
                    break
            else:
                missed += 1
    samples.sort()

    def pick(q):
        return samples[min(len(samples) - 1, int(q * len(samples)))] if samples else float("nan")

    print(f"{pick(0.5):.1f} {pick(0.95):.1f} {len(changes)} {missed}")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2:])
