"""The time from a screen change to its first line record on each device, and the share of the
records on the line that changed what a device shows.

Usage: latency.py CHANGES RECORDS...  prints "p50-ms p95-ms changes missed";
       latency.py --share CHANGES RECORDS...  prints "changed records" over the records that
       crossed the line from the first change to 0.5 s after the last one;
       latency.py --line BPS FROM TO RECORDS...  prints how busy the line of BPS bit/s was from
       FROM to TO, in per cent, on the device whose line was the least busy.
CHANGES holds a line per change (x11-draw --log): "time" alone, "time top bottom white" for a
band of the full width, or "time top bottom white width" for a block; RECORDS "time address
brightness [changed]" per record (vantela-sim --log; changed is 1 when the record altered its
panel line). Times are CLOCK_MONOTONIC nanoseconds.
"""
import bisect
import sys


def read_rows(path):
    return [tuple(map(int, line.split())) for line in open(path) if line.strip()]


def shows(change, bright):
    """Whether a record of brightness bright shows the change's colour on its rows."""
    white = bool(change[3])
    if len(change) > 4:  # a block: at least half its width lit
        return (bright * 2 >= change[4]) == white
    return (bright > 200) == white


def latency(changes, record_paths):
    samples, missed = [], 0
    for path in record_paths:
        records = read_rows(path)
        times = [r[0] for r in records]
        for change in changes:
            at, top, bottom = change[:3]
            # The first record after the change of a line in its rows that shows its colour
            # (each device's area starts at row 0, so address a is row a - 1).
            for record in records[bisect.bisect_left(times, at):]:
                t, address, bright = record[:3]
                if t > at + 2e9:
                    missed += 1
                    break
                if top < address <= bottom and shows(change, bright):
                    samples.append((t - at) / 1e6)
                    break
            else:
                missed += 1
    samples.sort()

    def pick(q):
        return samples[min(len(samples) - 1, int(q * len(samples)))] if samples else float("nan")

    print(f"{pick(0.5):.1f} {pick(0.95):.1f} {len(changes)} {missed}")


def share(changes, record_paths):
    first, last = changes[0][0], changes[-1][0] + 500_000_000
    changed = total = 0
    for path in record_paths:
        for record in read_rows(path):
            if first <= record[0] <= last:
                total += 1
                changed += len(record) > 3 and record[3] == 1
    print(f"{changed} {total}")


def line(bits_per_second, start, end, record_paths):
    # A record is 57 bytes of 10 bits on the line, logged when its last byte arrived.
    carried = min(sum(start < r[0] <= end for r in read_rows(path)) for path in record_paths)
    print(f"{100 * carried * 570 / bits_per_second / ((end - start) / 1e9):.1f}")


if __name__ == "__main__":
    if sys.argv[1] == "--line":
        line(int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), sys.argv[5:])
    elif sys.argv[1] == "--share":
        share(read_rows(sys.argv[2]), sys.argv[3:])
    else:
        latency(read_rows(sys.argv[1]), sys.argv[2:])
