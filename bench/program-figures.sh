#!/usr/bin/env bash
# The whole program's figures against its goals, on a private Xvfb with vantela-sim devices at
# 1000000 bit/s (Floyd-Steinberg): start to the first record, processor time on a still and on an
# animated screen, the time from a screen change to its first line record, and resident memory
# with four devices. Prints each figure, its goal and the ratio (at most 1 meets the goal). With
# perf installed, a processor figure that misses its goal is profiled (or every one, with
# FIGURES_PROFILE=1). Usage: program-figures.sh BUILD_DIR; FIGURES_SECONDS sets the length of
# each processor-time window (default 30).
set -euo pipefail
build=$(cd "${1:-build/linux}" && pwd)
python=${PYTHON:-/usr/bin/python3}
window_seconds=${FIGURES_SECONDS:-30}
for tool in Xvfb xdotool "$python"; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing"; exit 0; }
done
draw="$build/bench/x11-draw"
[ -x "$draw" ] || { echo "SKIP: $draw is not built"; exit 0; }

harness_name=program-figures
. "$(dirname "$0")/../scripts/lib/harness.sh"
program_trace=0  # the figures are of the program as users run it

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
start_xvfb
use_settings_folder

# start_sim_records N: vantela-sim as COM N at 1000000 bit/s, logging its records to recordsN.txt.
start_sim_records() { start_sim "sim$1" "$1" --speed 1000000 --log "$work/records$1.txt"; }
# settings N: N active devices on COM 1..N, Floyd-Steinberg at 1000000 bit/s, side by side in
# the 640 x 480 capture (0,0 and 240,0 over the top rows, then 0,240 and 240,240).
settings() {
  local ini="$XDG_CONFIG_HOME/vantela/vantelink.ini" i
  : >"$ini"
  for ((i = 0; i < $1; i++)); do
    printf 'MO.%d.ACTIVE=1\nMO.%d.PORT=%d\nMO.%d.SPEED=1000000\nMO.%d.DITHER=1\nMO.%d.POS.X=%d\nMO.%d.POS.Y=%d\n' \
      "$i" "$i" $((i + 1)) "$i" "$i" "$i" $((i % 2 * 240)) "$i" $((i / 2 * 240)) >>"$ini"
  done
  echo 'G.MODE=0' >>"$ini"
}
# start_stamped: the program, its start stamped (CLOCK_MONOTONIC) in start.ns just before it
# is executed; its window is moved off the captured area.
start_stamped() {
  start_program exe vantelink "$python" -c 'import os, sys, time
open(sys.argv[1], "w").write(str(time.monotonic_ns()))
os.execvp(sys.argv[2], sys.argv[2:])' "$work/start.ns"
  find_window win "$exe"
}
stop_program() {
  kill -TERM "$exe"
  wait "$exe" || fail "the program ended with status $?"
}
# cpu_ns PID: processor time of all the process's threads, in nanoseconds, from the
# scheduler's own accounting (user + system time in clock ticks would sample a program that
# wakes every 10 ms at the tick's own rate). No thread ends during a measurement here.
cpu_ns() { cat "/proc/$1/task/"*/schedstat | awk '{ s += $1 } END { printf "%.0f", s }'; }
# cpu_percent: the program's processor time over the next window, in per cent of one core.
cpu_percent() {
  local before after
  before=$(cpu_ns "$exe")
  sleep "$window_seconds"
  after=$(cpu_ns "$exe")
  awk -v a="$after" -v b="$before" -v s="$window_seconds" 'BEGIN { printf "%.2f", 100 * (a - b) / 1e9 / s }'
}
# profile NAME: where the program's time goes for 10 s, when perf is there.
profile() {
  command -v perf >/dev/null || { echo "(perf is missing: $1 not profiled)"; return 0; }
  echo "== profile: $1 (perf, 10 s, self time)"
  perf record -q -F 499 -g -o "$work/perf.data" -p "$exe" -- sleep 10 >/dev/null 2>&1 || { echo "(perf record failed)"; return 0; }
  perf report -q -i "$work/perf.data" --no-children --sort dso,symbol --stdio -g none 2>/dev/null \
    | grep -v '^$' | head -n 25 || true
}
# misses VALUE GOAL: true when VALUE is above GOAL.
misses() { awk -v v="$1" -v g="$2" 'BEGIN { exit !(v > g) }'; }
profile_when() { if [ "${FIGURES_PROFILE:-0}" = 1 ] || misses "$2" "$3"; then profile "$1"; fi; }

# Two devices: start, a still screen, changes one at a time, an animation.
start_sim_records 1
start_sim_records 2
settings 2
start_stamped
for _ in $(seq 100); do [ -s "$work/records1.txt" ] && break; sleep 0.05; done
[ -s "$work/records1.txt" ] || fail "no record within 5 s of the start"
start_ms=$(awk -v s="$(cat "$work/start.ns")" 'NR == 1 { printf "%.0f", ($1 - s) / 1e6 }' "$work/records1.txt")

"$draw" --scroll --count 1 || fail "x11-draw"
sleep 5  # the window's 4-second full refresh has come and gone once
still=$(cpu_percent)
profile_when "still screen" "$still" 0.5

"$draw" --bands --every 120 --jitter 40 --count 200 --log "$work/changes.log" || fail "x11-draw"
sleep 1
latency=$("$python" "$(dirname "$0")/latency.py" "$work/changes.log" "$work/records1.txt" "$work/records2.txt")
read -r p50 p95 changes missed <<<"$latency"

spawn animation /dev/null - "$draw" --scroll --every 20
sleep 3
animated=$(cpu_percent)
profile_when "animation" "$animated" 5
kill "$animation"
stop_program

# Four devices, the animation running: the program's resident memory, now and at its peak.
start_sim_records 3
start_sim_records 4
settings 4
start_stamped
spawn animation /dev/null - "$draw" --scroll --every 20
sleep 10
rss=$(awk '/^VmRSS/ { printf "%.1f", $2 / 1024 }' "/proc/$exe/status")
hwm=$(awk '/^VmHWM/ { printf "%.1f", $2 / 1024 }' "/proc/$exe/status")
kill "$animation"
stop_program
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"

row() { printf '%-62s %14s %12s %6s\n' "$1" "$2" "$3" "$4"; }
ratio() { awk -v v="$1" -v g="$2" 'BEGIN { printf "%.2f", v / g }'; }
row "figure" "measured" "goal" "ratio"
row "screen change -> first line record, p50 / p95 ($changes changes x 2)" "$p50 / $p95 ms" "p95 <= 80 ms" "$(ratio "$p95" 80)"
[ "$missed" = 0 ] || echo "  ($missed of the changes never reached a device within 2 s)"
row "processor time, still screen, 2 devices, ${window_seconds} s" "$still %" "<= 0.5 %" "$(ratio "$still" 0.5)"
row "processor time, animation, 2 Floyd-Steinberg devices at 1 Mbit/s" "$animated %" "<= 5 %" "$(ratio "$animated" 5)"
row "resident memory, 4 devices, animation (now / peak)" "$rss / $hwm MB" "<= 30 MB" "$(ratio "$hwm" 30)"
row "start to the first record on the wire" "$start_ms ms" "<= 500 ms" "$(ratio "$start_ms" 500)"
