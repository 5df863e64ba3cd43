#!/usr/bin/env bash
# The whole program under faults, on X11, each against the real vantelink, vantela-sim and a
# private Xvfb: a device unplugged while it streams, a device that stops reading, the external
# monitor's driver going away and coming back, and two programs on one port. Figures are
# printed; the bounds asserted are generous, to catch a hang or a busy loop, not to time.
# Usage: faults-x11.sh BUILD [SCENARIO...] (unplug stalled driver twice; default all)
set -euo pipefail
build=$(cd "$1" && pwd)
shift
. "$(dirname "$0")/e2e-lib.sh"
e2e_require
hz=$(getconf CLK_TCK)

start_xvfb
/usr/bin/python3 "$root/scripts/demo-picture.py" "$work/picture.png"
convert "$work/picture.png" -negate "$work/negative.png"
show_picture "$work/picture.png"

# Alternates the screen between the picture and its negative, so that every frame has lines to
# send, until stop_flipping.
start_flipping() {
  rm -f "$work/stop-flipping"
  (while [ ! -e "$work/stop-flipping" ]; do
    show_picture "$work/negative.png"
    show_picture "$work/picture.png"
  done) &
  flipper=$!
  pids+=($flipper)
}
stop_flipping() {
  touch "$work/stop-flipping"
  wait "$flipper" 2>/dev/null || true
}

size_of() { stat -c %s "$1" 2>/dev/null || echo 0; }

# A device unplugged for 2 s while it streams. The window's texts follow its 4-second timer,
# so the unplug is timed to land 1.4 s before a tick (seen as the full refresh on the wire):
# the error is then on screen within one timer period, while the device is still away.
unplug() {
  use_settings_folder unplug
  local settings='MO.0.ACTIVE=1\nMO.0.PORT=1\nMO.0.DITHER=1\nMO.0.POS.X=32\nMO.0.POS.Y=16\n'
  printf "$settings" >"$ini"
  local sim exe win
  start_sim sim 1 --away 2 --wire "$work/wire-unplug.bin"
  start_program exe unplug
  find_window win "$exe"
  sleep 4.6
  compare_panel "$sim" 1 unplug-before "$settings"
  [ "$(last_label "$work/unplug.log" 1)" = "動作中" ] || fail "not streaming before the unplug"

  # The screen is still: the wire grows only with the timer's full refresh.
  local size tick="" t
  size=$(size_of "$work/wire-unplug.bin")
  t=$(now_ms)
  while [ $(($(now_ms) - t)) -lt 6000 ]; do
    if [ "$(size_of "$work/wire-unplug.bin")" -gt "$size" ]; then tick=$(now_ms); break; fi
    sleep 0.02
  done
  [ -n "$tick" ] || fail "no full refresh within 6 s"
  sleep 1.5
  start_flipping
  while [ $(($(now_ms) - tick)) -lt 2600 ]; do sleep 0.02; done

  local from c0 c1 t0 err="" btn="" back="" flow="" wireBack=0 now
  from=$(lines_of "$work/unplug.log")
  c0=$(cpu_ticks "$exe")
  t0=$(now_ms)
  kill -USR2 "$sim"
  sleep 0.1
  [ ! -e "$XDG_CONFIG_HOME/vantela/ports/com1" ] || fail "the simulator did not unplug"
  while :; do
    now=$(now_ms)
    [ $((now - t0)) -lt 9000 ] || break
    local text
    text=$(tail -n +"$((from + 1))" "$work/unplug.log")
    [ -z "$err" ] && grep -qxF 'label 1 *USB接続を確認してください*' <<<"$text" && err=$((now - t0))
    [ -z "$btn" ] && grep -qxF 'label 17 Vantela1 *エラー*' <<<"$text" && btn=$((now - t0))
    if [ -z "$back" ] && [ -e "$XDG_CONFIG_HOME/vantela/ports/com1" ]; then
      back=$((now - t0))
      c1=$(cpu_ticks "$exe")
      wireBack=$(size_of "$work/wire-unplug.bin")
    fi
    if [ -n "$back" ] && [ -z "$flow" ] && [ "$(size_of "$work/wire-unplug.bin")" -gt "$wireBack" ]; then
      flow=$((now - t0 - back))
    fi
    [ -n "$err" ] && [ -n "$btn" ] && [ -n "$flow" ] && break
    sleep 0.02
  done
  stop_flipping
  [ -n "$back" ] || fail "the simulator did not come back"
  local cpu=$(((c1 - c0) * 100000 / hz / back))  # per mille of one core
  echo "unplug: status error after ${err:-never} ms, device button error after ${btn:-never} ms (timer period 4000 ms)"
  echo "unplug: device away ${back} ms, program used $((cpu / 10)).$((cpu % 10)) % of a core meanwhile"
  echo "unplug: records flowed again ${flow:-never} ms after the device came back"
  [ -n "$err" ] && [ "$err" -le 5000 ] || fail "the status did not show the USB error within a timer period"
  [ -n "$btn" ] && [ "$btn" -le 5000 ] || fail "the device button did not show the error within a timer period"
  [ "$cpu" -lt 100 ] || fail "the program was busy while the device was away"
  [ -n "$flow" ] && [ "$flow" -le 2000 ] || fail "no records within 2 s of the device's return"

  wait_label "$work/unplug.log" "$from" 1 "動作中" 6000 >/dev/null || fail "the status did not read 動作中 again"
  wait_label "$work/unplug.log" "$from" 17 "Vantela1 設定" 100 >/dev/null || fail "the device button still reads an error"
  sleep 0.6  # the same tick resent the whole area
  compare_panel "$sim" 1 unplug-after "$settings"
  /usr/bin/python3 "$here/compare-panels.py" "$work/panel-unplug-after.png" "$work/panel-unplug-before.png" >/dev/null ||
    fail "the panel after the unplug is not the one before"
  kill -TERM "$exe"
  wait_exit "$exe" 10 || fail "unplug: the program did not end"
  [ "$exit_status" -eq 0 ] || fail "unplug: exit status $exit_status"
}

# Two devices, the second of which stops reading (SIGSTOP) while the screen changes, so that its
# terminal and then its link's ring fill: the window answers clicks, the first device goes on
# streaming, and the window's File > Exit ends the program in little more than the 1 s a stuck
# writer is given, with the settings written.
stalled() {
  use_settings_folder stalled
  local settings='MO.0.ACTIVE=1\nMO.0.PORT=1\nMO.0.DITHER=1\nMO.1.ACTIVE=1\nMO.1.PORT=2\nMO.1.DITHER=0\n'
  printf "$settings" >"$ini"
  local sim1 sim2 exe win
  start_sim sim1 1 --wire "$work/wire-stalled-1.bin"
  start_sim sim2 2 --wire "$work/wire-stalled-2.bin"
  start_program exe stalled
  find_window win "$exe"
  wait_label "$work/stalled.log" 0 1 "動作中" 6000 >/dev/null || fail "stalled: not streaming"
  kill -STOP "$sim2"
  start_flipping
  sleep 2
  local w0 w1 t0 t1 from took
  w0=$(size_of "$work/wire-stalled-1.bin")
  t0=$(now_ms)
  sleep 2
  w1=$(size_of "$work/wire-stalled-1.bin")
  t1=$(now_ms)
  echo "stalled: the first device received $(((w1 - w0) * 1000 / (t1 - t0) / 1024)) KiB/s while the second was stopped"
  [ "$w1" -gt "$w0" ] || fail "stalled: the first device received nothing"

  from=$(lines_of "$work/stalled.log")
  click "$win" 135 193  # contrast "+" of device 1
  took=$(wait_label "$work/stalled.log" "$from" 8 "1.05" 3000) || fail "stalled: no answer to a click"
  echo "stalled: a click on contrast + showed its value after $took ms"
  [ "$took" -le 1000 ] || fail "stalled: the window answered a click only after $took ms"
  stop_flipping
  show_picture "$work/negative.png"
  sleep 4.6  # a changed screen, then the timer's full refresh
  compare_panel "$sim1" 1 stalled "MO.0.ACTIVE=1\nMO.0.DITHER=1\nMO.0.CONTRAST=1.05\n"
  grep -q "^label 17 Vantela1 \*" "$work/stalled.log" && fail "stalled: device 1 shown in error"

  # File > Exit: the menu's title, then its one item.
  xdotool mousemove --window "$win" 20 9 click 1
  sleep 0.3
  t0=$(now_ms)
  xdotool mousemove --window "$win" 40 29 click 1
  wait_exit "$exe" 10 || fail "stalled: the program did not end after File > Exit"
  took=$(($(now_ms) - t0))
  echo "stalled: File > Exit ended the program after $took ms"
  [ "$exit_status" -eq 0 ] || fail "stalled: exit status $exit_status"
  [ "$took" -le 3000 ] || fail "stalled: exit took $took ms"
  grep -qx 'MO.0.CONTRAST=1.050000' "$ini" || fail "stalled: the contrast was not saved: $(cat "$ini")"
  kill -CONT "$sim2"
}

scenarios=("$@")
[ ${#scenarios[@]} -gt 0 ] || scenarios=(unplug stalled)
for s in "${scenarios[@]}"; do "$s"; done
echo "PASS: ${scenarios[*]}"
