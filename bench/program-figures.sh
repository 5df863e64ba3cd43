#!/usr/bin/env bash
# The whole program's figures against its goals, on a private Xvfb with vantela-sim devices at
# 1000000 bit/s (Floyd-Steinberg): start to the first record, processor time on a still and on an
# animated screen, the time from a screen change to its first line record (random bands, and
# typing), the animation's frame rate and how busy the line is, the share of records that
# changed what a device shows, the window's answer to a click while a device is stalled, and
# resident memory with four devices. Prints each figure, its goal and the ratio (at most 1 meets
# the goal); the figures with goals of their own are the median of three runs. With perf
# installed, a processor figure that misses its goal is profiled (or every one, with
# FIGURES_PROFILE=1); with gdb, the program's frames are counted. Usage: program-figures.sh
# [--preview] BUILD_DIR; --preview measures with the panel preview window open (on a screen
# with room for it beside the captured area). FIGURES_SECONDS sets the length of each
# processor-time window (default 30), FIGURES_CHANGES the number of typing changes a run
# (default 200), FIGURES_SCREEN the screen (default 1024x768x24, 1920x1080x24 with --preview).
set -euo pipefail
preview=0
if [ "${1:-}" = --preview ]; then
  preview=1
  shift
fi
build=$(cd "${1:-build/linux}" && pwd)
needed_tools=(Xvfb xdotool)
harness_name=program-figures
. "$(dirname "$0")/x11-figures-lib.sh"

screen=${FIGURES_SCREEN:-$([ "$preview" = 1 ] && echo 1920x1080x24 || echo 1024x768x24)}
echo "screen $screen, panel preview $([ "$preview" = 1 ] && echo open || echo closed)"
start_xvfb "$screen"
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
  [ "$preview" = 0 ] || open_preview
}
# open_preview: the panel preview, through the File menu's second item, beside the settings window.
# The keys go to the window once it has taken the focus, soon after it appears: tried until then.
open_preview() {
  local w="" _
  for _ in $(seq 20); do
    xdotool key alt+f Down Return
    w=$(timeout 1 xdotool search --sync --pid "$exe" --onlyvisible --name '^パネルのプレビュー$' | head -n 1 || true)
    [ -n "$w" ] && break
  done
  [ -n "$w" ] || fail "the panel preview did not open"
  xdotool windowmove --sync "$w" 1040 0
}
stop_program() {
  kill -TERM "$exe"
  wait "$exe" || fail "the program ended with status $?"
}
# frame_rate SECONDS: the program's frames a second, counted by gdb at a breakpoint that only
# notes the time ("nan" without gdb). The program stops while gdb attaches, so the count starts
# at the first frame after that.
frame_rate() {
  command -v gdb >/dev/null || { echo nan; return 0; }
  cat >"$work/frames.py" <<PY
import gdb, time
hits = []
class Frame(gdb.Breakpoint):
    def stop(self):
        hits.append(time.monotonic())
        return hits[-1] - hits[0] > $1
Frame("-qualified produceFrame", internal=True)
def report():
    rate = (len(hits) - 1) / (hits[-1] - hits[0]) if len(hits) > 1 and hits[-1] > hits[0] else float("nan")
    print("frames %.1f" % rate)
PY
  timeout 60 gdb -q -nx -batch -p "$exe" -ex "source $work/frames.py" -ex continue -ex 'python report()' 2>/dev/null |
    awk '$1 == "frames" { print $2; found = 1 } END { if (!found) print "nan" }'
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

# Two devices: start, a still screen, changes one at a time, typing, an animation.
start_sim_records 1
start_sim_records 2
settings 2
start_stamped
for _ in $(seq 100); do [ -s "$work/records1.txt" ] && break; sleep 0.05; done
[ -s "$work/records1.txt" ] || fail "no record within 5 s of the start"
start_ms=$(awk -v s="$(cat "$work/start.ns")" 'NR == 1 { printf "%.0f", ($1 - s) / 1e6 }' "$work/records1.txt")
records=("$work/records1.txt" "$work/records2.txt")

"$draw" --scroll --count 1 || fail "x11-draw"
sleep 5  # the window's 4-second full refresh has come and gone once
still_runs=()
for _ in 1 2 3; do
  read -r cpu _ _ < <(cpu_window)
  still_runs+=("$cpu")
done
still=$(median "${still_runs[@]}")
profile_when "still screen" "$still" 0.1

"$draw" --bands --every 120 --jitter 40 --count 200 --log "$work/changes.log" || fail "x11-draw"
sleep 1
read -r p50 p95 changes missed < <("$python" "$(dirname "$0")/latency.py" "$work/changes.log" "${records[@]}")

# Typing: a small block every 100 to 300 ms, each a few rows below the last one.
typing_p50=() typing_p95=() typing_share=() typing_missed=0
for run in 1 2 3; do
  "$draw" --typing --count 1 || fail "x11-draw"  # a black screen first, away from the timing
  sleep 1
  "$draw" --typing --every 100 --jitter 200 --count "$typing_changes" --log "$work/typing$run.log" || fail "x11-draw"
  sleep 1
  read -r a b _ lost < <("$python" "$(dirname "$0")/latency.py" "$work/typing$run.log" "${records[@]}")
  typing_p50+=("$a") typing_p95+=("$b") typing_missed=$((typing_missed + lost))
  read -r changed total < <("$python" "$(dirname "$0")/latency.py" --share "$work/typing$run.log" "${records[@]}")
  typing_share+=("$(awk -v c="$changed" -v t="$total" 'BEGIN { printf "%.1f", t ? 100 * c / t : 0 }')")
done
typing50=$(median "${typing_p50[@]}")
typing95=$(median "${typing_p95[@]}")
typing_share=$(median "${typing_share[@]}")

spawn animation /dev/null - "$draw" --scroll --every 20 --log "$work/animation.log"
sleep 3
animated_runs=() busy_runs=() rate_runs=()
for _ in 1 2 3; do
  read -r cpu from to < <(cpu_window)
  animated_runs+=("$cpu")
  busy_runs+=("$("$python" "$(dirname "$0")/latency.py" --line 1000000 "$from" "$to" "${records[@]}")")
done
animated=$(median "${animated_runs[@]}")
busy=$(median "${busy_runs[@]}")
profile_when "animation" "$animated" 3
for _ in 1 2 3; do rate_runs+=("$(frame_rate 3)"); done
rate=$(median "${rate_runs[@]}")
kill "$animation"
wait "$animation" || true
read -r changed total < <("$python" "$(dirname "$0")/latency.py" --share "$work/animation.log" "${records[@]}")
animation_share=$(awk -v c="$changed" -v t="$total" 'BEGIN { printf "%.1f", t ? 100 * c / t : 0 }')
stop_program

# A click in the window while the second device is stalled (its simulator stopped, so that its
# terminal and then its link's ring fill) and the screen changes all the time: the time from
# the click to the window's new value, as its trace writes it just before painting it.
program_trace=1
start_stamped
program_trace=0
spawn animation /dev/null - "$draw" --scroll --every 20
sleep 2
kill -STOP "$sim2"
sleep 3
cat >"$work/click.py" <<'PY'
# Clicks the contrast "-" and "+" of the device shown in turn, each when the last one has been
# answered, through XTest; prints the median of the times from a click to the trace of its new
# value (label 8) in milliseconds.
import ctypes, os, sys, time
window, trace, clicks = int(sys.argv[1]), sys.argv[2], int(sys.argv[3])
x11 = ctypes.CDLL("libX11.so.6")
xtst = ctypes.CDLL("libXtst.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XTranslateCoordinates.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                      ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_int),
                                      ctypes.POINTER(ctypes.c_ulong)]
x11.XFlush.argtypes = [ctypes.c_void_p]
xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_ulong]
xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
dpy = x11.XOpenDisplay(None)
if not dpy:
    sys.exit(1)
root = x11.XDefaultRootWindow(dpy)
times = []
for i in range(clicks):
    x, y, child = ctypes.c_int(), ctypes.c_int(), ctypes.c_ulong()
    # Below the 19-pixel menu bar: contrast "-" at 117,193, "+" at 135,193.
    x11.XTranslateCoordinates(dpy, window, root, 117 if i % 2 == 0 else 135, 193 + 19, x, y, child)
    xtst.XTestFakeMotionEvent(dpy, -1, x.value, y.value, 0)
    x11.XFlush(dpy)
    time.sleep(0.05)
    seen = os.path.getsize(trace)
    clicked = time.monotonic()
    xtst.XTestFakeButtonEvent(dpy, 1, 1, 0)
    xtst.XTestFakeButtonEvent(dpy, 1, 0, 0)
    x11.XFlush(dpy)
    while b"\nlabel 8 " not in b"\n" + open(trace, "rb").read()[seen:]:
        if time.monotonic() - clicked > 3:
            sys.exit(1)
        time.sleep(0.0005)
    times.append((time.monotonic() - clicked) * 1000)
    time.sleep(0.2)
times.sort()
print("%.1f" % times[len(times) // 2])
PY
click_runs=()
for _ in 1 2 3; do
  ms=$("$python" "$work/click.py" "$win" "$work/vantelink.log" 5) || fail "no answer to a click within 3 s"
  click_runs+=("$ms")
done
click=$(median "${click_runs[@]}")
kill -CONT "$sim2"
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

row() { printf '%-66s %16s %14s %6s\n' "$1" "$2" "$3" "$4"; }
ratio() { awk -v v="$1" -v g="$2" 'BEGIN { printf "%.2f", v / g }'; }
# inverse_ratio VALUE GOAL: for goals of at least GOAL.
inverse_ratio() { awk -v v="$1" -v g="$2" 'BEGIN { printf "%.2f", (v > 0 ? g / v : 0) }'; }
row "figure" "measured" "goal" "ratio"
row "random bands: screen change -> first line record, p50 / p95 ($changes changes x 2)" "$p50 / $p95 ms" "p95 <= 80 ms" "$(ratio "$p95" 80)"
[ "$missed" = 0 ] || echo "  ($missed of the changes never reached a device within 2 s)"
row "typing: change -> first line record of it, p50 ($typing_changes changes x 2)" "$typing50 ms" "<= 10 ms" "$(ratio "$typing50" 10)"
row "typing: change -> first line record of it, p95" "$typing95 ms" "<= 30 ms" "$(ratio "$typing95" 30)"
[ "$typing_missed" = 0 ] || echo "  ($typing_missed of the typing changes never reached a device within 2 s)"
row "animation over the whole area: the program's frames a second" "$rate" ">= 25" "$(inverse_ratio "$rate" 25)"
row "animation over the whole area: the line busy (the lesser device)" "$busy %" ">= 97 %" "$(inverse_ratio "$busy" 97)"
row "processor time, still screen, 2 devices, ${window_seconds} s" "$still %" "<= 0.1 %" "$(ratio "$still" 0.1)"
row "processor time, animation, 2 Floyd-Steinberg devices at 1 Mbit/s" "$animated %" "<= 3 %" "$(ratio "$animated" 3)"
row "a click -> its new value in the window, a device stalled" "$click ms" "<= 50 ms" "$(ratio "$click" 50)"
row "records that changed what the device shows: typing / animation" "$typing_share / $animation_share %" "(no goal)" ""
row "resident memory, 4 devices, animation (now / peak)" "$rss / $hwm MB" "<= 30 MB" "$(ratio "$hwm" 30)"
row "start to the first record on the wire" "$start_ms ms" "<= 500 ms" "$(ratio "$start_ms" 500)"
