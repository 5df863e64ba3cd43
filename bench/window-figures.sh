#!/usr/bin/env bash
# The X11 window mirror's figures against their goals, on a private Xvfb with two vantela-sim
# devices at 1000000 bit/s (Floyd-Steinberg) mirroring a 640 x 480 window of x11-draw whose right
# half another window covers: the program's processor time while the window is still, and the
# time from a small drawing in the window (typing) to its first line record. Prints each figure,
# its goal and the ratio (at most 1 meets the goal). Usage: window-figures.sh [BUILD_DIR];
# FIGURES_SECONDS sets the processor-time window (default 30), FIGURES_CHANGES the typing
# changes (default 200).
set -euo pipefail
build=$(cd "${1:-build/linux}" && pwd)
needed_tools=(Xvfb xdotool)
harness_name=window-figures
. "$(dirname "$0")/x11-figures-lib.sh"

start_xvfb 1024x768x24
use_settings_folder
records=()
for i in 0 1; do
  printf 'MO.%d.ACTIVE=1\nMO.%d.PORT=%d\nMO.%d.SPEED=1000000\nMO.%d.DITHER=1\nMO.%d.POS.X=%d\n' \
    "$i" "$i" $((i + 1)) "$i" "$i" "$i" $((i * 240)) >>"$ini"
  start_sim "sim$i" $((i + 1)) --speed 1000000 --log "$work/records$i.txt"
  records+=("$work/records$i.txt")
done
printf 'G.MODE=2\nG.WINDOW.TITLE=typing\nG.WINDOW.CLASS=X11draw\n' >>"$ini"

spawn drawer /dev/null - "$draw" --window typing --typing --count 1
start_program exe vantelink
find_window win "$exe"
sleep 7  # found within a second, the first block drawn, the window's full refresh come and gone
read -r still _ _ < <(cpu_window)
kill "$drawer"
wait "$drawer" || true

# A new window of the same title: found again, then typed in.
spawn typing /dev/null - "$draw" --window typing --typing --every 100 --jitter 200 --count "$typing_changes" \
  --log "$work/typing.log"
for _ in $(seq 600); do [ "$(lines_of "$work/typing.log")" -ge "$typing_changes" ] && break; sleep 0.1; done
sleep 1
read -r p50 p95 changes missed < <("$python" "$(dirname "$0")/latency.py" "$work/typing.log" "${records[@]}")
kill "$typing"
wait "$typing" || true
kill -TERM "$exe"
wait "$exe" || fail "the program ended with status $?"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"

row() { awk -v n="$1" -v f="$2" -v g="$3" -v u="$4" 'BEGIN { printf "%-58s %9.3f %s  goal %7.3f  ratio %.2f\n", n, f, u, g, f / g }'; }
row "still covered window, 2 devices, processor (${window_seconds} s)" "$still" 0.1 "% of a core"
row "typing in the covered window -> first record, p50" "$p50" 10 ms
row "typing in the covered window -> first record, p95" "$p95" 30 ms
echo "typing changes $changes, not seen on a device $missed"
