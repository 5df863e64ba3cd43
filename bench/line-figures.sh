#!/usr/bin/env bash
# The serial line's figures against their goals, on a private Xvfb with one vantela-sim device
# reading at the line's pace (two-level threshold, a black screen): for 9600, 19200 and 1000000
# bit/s, the time from a one-off change at rows 200-210 to its last record on the panel, beside
# its records' own time plus 100 ms; and the longest time any line goes unsent on a still
# screen, beside max(4 s, 1.25 x the panel's time). Then, at 1000000 bit/s, how often the
# program's main thread wakes on a still screen with 0 (housekeeping, the window's timer and
# the refresh it starts) and with a hand-edited rotation 1, whose goal is the same.
# Prints each figure, its goal and the ratio (at most 1 meets the goal).
# Usage: line-figures.sh [BUILD_DIR] [SPEED...]
set -euo pipefail
build=$(cd "${1:-build/linux}" && pwd)
shift || true
if [ $# -gt 0 ]; then speeds=("$@"); else speeds=(9600 19200 1000000); fi
needed_tools=(Xvfb xdotool xsetroot)
harness_name=line-figures
. "$(dirname "$0")/x11-figures-lib.sh"

# panel_s SPEED: a whole panel's time on the line, 240 records of 57 bytes of 10 bits.
panel_s() { awk -v s="$1" 'BEGIN { printf "%.3f", 240 * 570 / s }'; }
report() { awk -v n="$1" -v f="$2" -v g="$3" -v u="$4" 'BEGIN { printf "%-52s %9.3f %s  goal %9.3f  ratio %.2f\n", n, f, u, g, f / g }'; }

# run SPEED ROTATE: the program with one device at SPEED, its simulator logging records.
run() {
  printf 'MO.0.ACTIVE=1\nMO.0.PORT=1\nMO.0.SPEED=%d\nMO.0.DITHER=0\nMO.0.ROTATE=%d\nG.MODE=0\n' "$1" "$2" >"$ini"
  records_log="$work/records-$1-$2.txt"
  start_sim sim 1 --speed "$1" --log "$records_log"
  start_program exe vantelink
  find_window win "$exe"
}
stop_run() {
  kill -TERM "$exe" "$sim" 2>/dev/null || true
  wait "$exe" "$sim" 2>/dev/null || true
}
# wait_filled LIMIT-S: until every one of the 240 lines has reached the panel.
wait_filled() {
  local start
  start=$(now_ms)
  until [ "$(cut -d' ' -f2 "$records_log" 2>/dev/null | sort -u | wc -l)" -ge 240 ]; do
    [ $(($(now_ms) - start)) -lt $(($1 * 1000)) ] || fail "the panel was not filled within $1 s"
    sleep 0.1
  done
}

start_xvfb
xsetroot -solid black
use_settings_folder

for speed in "${speeds[@]}"; do
  panel=$(panel_s "$speed")
  refresh=$(awk -v p="$panel" 'BEGIN { r = 1.25 * p; printf "%.3f", (r > 4 ? r : 4) }')
  run "$speed" 0
  wait_filled "$(awk -v p="$panel" 'BEGIN { printf "%d", 3 * p + 10 }')"

  # A still screen for twice the refresh time: every line's longest time unsent.
  window=$(awk -v r="$refresh" 'BEGIN { printf "%.1f", 2 * r + 1 }')
  from=$(mono_ns)
  sleep "$window"
  to=$(mono_ns)
  gap=$("$python" - "$records_log" "$from" "$to" <<'PY'
import sys
times = {}
lo, hi = int(sys.argv[2]), int(sys.argv[3])
for line in open(sys.argv[1]):
    fields = line.split()
    # The simulator may be midway through its last line.
    if len(fields) != 4 or not line.endswith("\n"):
        continue
    t, address = int(fields[0]), int(fields[1])
    if lo <= t <= hi:
        times.setdefault(address, []).append(t)
worst = 0
for a in range(1, 241):
    stamps = [lo] + times.get(a, []) + [hi]
    worst = max(worst, max(b - a for a, b in zip(stamps, stamps[1:])))
print(f"{worst / 1e9:.3f}")
PY
)

  # A one-off change at rows 200-210: from its drawing to its last record on the panel.
  "$draw" --rows 200 211 --every 300 --count 1 --log "$work/draw.txt"
  records=$(awk -v s="$speed" 'BEGIN { printf "%.3f", 11 * 570 / s }')
  limit=$(awk -v r="$records" 'BEGIN { printf "%d", 1000 * r + 5000 }')
  drawn=$(cut -d' ' -f1 "$work/draw.txt")
  start=$(now_ms)
  while :; do
    latency=$("$python" - "$records_log" "$drawn" <<'PY'
import sys
drawn, seen = int(sys.argv[2]), {}
# A line that ran dry restarts up to 2 ms in the past in the simulator's account (its allowance
# for a late wake-up): at high speeds the first record of the change can be stamped before it.
since = drawn - 2000000
for line in open(sys.argv[1]):
    if not line.endswith("\n"):
        continue
    t, address, _, changed = map(int, line.split())
    if t > since and changed and 201 <= address <= 211:
        seen.setdefault(address, t)
print(f"{max(max(seen.values()) - drawn, 0) / 1e9:.3f}" if len(seen) == 11 else "")
PY
)
    [ -n "$latency" ] && break
    [ $(($(now_ms) - start)) -lt "$limit" ] || { latency=inf; break; }
    sleep 0.05
  done
  stop_run
  report "change at rows 200-210 to the panel, $speed bit/s" "$latency" \
    "$(awk -v r="$records" 'BEGIN { print r + 0.1 }')" s
  report "longest time a line goes unsent, still, $speed bit/s" "$gap" "$refresh" s
  xsetroot -solid black
done

# wakes VAR ROTATE: the main thread's voluntary sleeps a second over 10 s of a still screen.
wakes() {
  local var=$1
  shift
  run 1000000 "$1"
  wait_filled 10
  sleep 5
  local before after
  before=$(awk '/^voluntary_ctxt_switches/ { print $2 }' "/proc/$exe/task/$exe/status")
  sleep 10
  after=$(awk '/^voluntary_ctxt_switches/ { print $2 }' "/proc/$exe/task/$exe/status")
  stop_run
  printf -v "$var" %s "$(awk -v a="$after" -v b="$before" 'BEGIN { printf "%.2f", (a - b) / 10 }')"
}
wakes plain 0
wakes turned 1
printf '%-52s %9.3f /s\n' "main-thread wake-ups a second, still, rotation 0" "$plain"
report "main-thread wake-ups a second, still, rotation 1" "$turned" "$plain" /s
