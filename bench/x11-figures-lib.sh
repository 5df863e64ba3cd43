# Sourced by the figure scripts that drive the program on an X server, after `build`,
# `harness_name` and `needed_tools` are set: sets `python` ($PYTHON), `window_seconds`
# ($FIGURES_SECONDS, 30) and `typing_changes` ($FIGURES_CHANGES, 200), skips (exit 0) when a tool
# or bench/x11-draw is missing, then loads the shared harness with the program's trace off (the
# figures are of the program as users run it), prints the load, and gives the processor-time
# helpers (cpu_window reads $exe and $window_seconds).
python=${PYTHON:-/usr/bin/python3}
window_seconds=${FIGURES_SECONDS:-30}
typing_changes=${FIGURES_CHANGES:-200}
for tool in "${needed_tools[@]}" "$python"; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing"; exit 0; }
done
draw="$build/bench/x11-draw"
[ -x "$draw" ] || { echo "SKIP: $draw is not built"; exit 0; }
. "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib/harness.sh"
program_trace=0
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"

# cpu_ns PID: processor time of all the process's threads, in nanoseconds, from the
# scheduler's own accounting (user + system time in clock ticks would sample a program that
# wakes every 10 ms at the tick's own rate). No thread ends during a measurement here.
cpu_ns() { cat "/proc/$1/task/"*/schedstat | awk '{ s += $1 } END { printf "%.0f", s }'; }
mono_ns() { "$python" -c 'import time; print(time.monotonic_ns())'; }
# cpu_window: the program's processor time over the next window, in per cent of one core, then
# the window's start and end (CLOCK_MONOTONIC nanoseconds, as the simulators' logs).
cpu_window() {
  local before after from to
  from=$(mono_ns)
  before=$(cpu_ns "$exe")
  sleep "$window_seconds"
  after=$(cpu_ns "$exe")
  to=$(mono_ns)
  awk -v a="$after" -v b="$before" -v f="$from" -v t="$to" 'BEGIN { printf "%.3f %s %s\n", 100 * (a - b) / (t - f), f, t }'
}
# median A B C...: the middle value (the upper one of an even count).
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int(NR / 2) + 1] }'; }
