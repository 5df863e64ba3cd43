#!/usr/bin/env bash
# The main-screen mirror on a wlroots desktop: a headless sway (run as an unprivileged user) shows
# a test client's picture; the real program (its window on an Xvfb of its own) captures it
# through the screen copy and streams to vantela-sim. The panel must be what vantela-preview
# makes of grim's reading of the same area, before and after a square moves; a still screen
# costs no copy; sway going away leaves the source lost, and its return brings the mirror back;
# an output turned a quarter reaches the panel as sway shows it. With two outputs the area's top
# left picks the one to copy; the window mirror says it is unavailable here.
set -euo pipefail
build=$(cd "$1" && pwd)
. "$(dirname "$0")/../app/e2e-lib.sh"
. "$(dirname "$0")/sway-lib.sh"

start_sway 800x600
start_xvfb
use_settings_folder
settings='MO.0.ACTIVE=1\nMO.0.PORT=1\nMO.0.DITHER=1\nMO.0.POS.X=32\nMO.0.POS.Y=16\n'
printf "$settings" >"$ini"
start_sim sim 1
start_program exe vantelink
find_window win "$exe"

# compare NAME: the panel against the preview of what grim reads at $grab; a loaded machine may
# keep the panel a few frames behind, so it has 5 s to become equal.
compare() {
  local _ try
  for try in $(seq 10); do
    rm -f "$work/panel-1.png"
    kill -USR1 "$sim"
    for _ in $(seq 100); do [ -s "$work/panel-1.png" ] && break; sleep 0.02; done
    sleep 0.1
    cp "$work/panel-1.png" "$work/panel-$1.png"
    grim -g "${grab:-0,0} 640x480" "$work/screen-$1.png"
    printf "$settings" >"$work/preview-$1.ini"
    "$build/tools/vantela-preview" --settings "$work/preview-$1.ini" "$work/screen-$1.png" "$work/preview-$1.png" ||
      fail "preview $1"
    /usr/bin/python3 "$here/compare-panels.py" "$work/panel-$1.png" "$work/preview-$1.png" >"$work/compare-$1.txt" &&
      return 0
    sleep 0.4
  done
  fail "panel $1 differs from the preview: $(cat "$work/compare-$1.txt")"
}
copies() { grep -c '^vantelink: screen copy [0-9]*:' "$work/vantelink.log" || true; }

compare mirror
grep -q '^vantelink: capture: screencopy (output HEADLESS-1' "$work/vantelink.log" || fail "screen copy not chosen"

# Nothing drawn: the one request stays pending, no frame is copied.
before=$(copies)
sleep 2
[ "$(copies)" -eq "$before" ] || fail "a still screen was copied $(($(copies) - before)) times"

kill -USR1 "$painter_pid"
wait_shown 2
compare moved
# The compositor reported the square's places, not the whole output.
moved=$(grep '^vantelink: screen copy [0-9]*:' "$work/vantelink.log" | sed -n "$((before + 1))p")
[[ "$moved" == *damage* && "$moved" != *' 800x600' ]] || fail "the move was reported as: $moved"

# sway going away: the source is lost, the program lives on and mirrors again once it is back.
stop_sway
sleep 1.5
kill -0 "$exe" 2>/dev/null || fail "the program ended when the compositor went away"
grep -q '^vantelink: screen copy: the compositor went away' "$work/vantelink.log" || fail "the loss was not noticed"
start_sway 800x600
compare resumed

# An output turned a quarter (a 600x800 mode shown as 800x600): the panel shows it as sway does.
stop_sway
start_sway 600x800 transform 90
kill -USR1 "$painter_pid"  # a picture the panel has not shown yet
wait_shown 2
for _ in $(seq 100); do
  grep -q '^vantelink: capture: screencopy (output HEADLESS-1, 600x800' "$work/vantelink.log" && break
  sleep 0.1
done
grep -q '^vantelink: capture: screencopy (output HEADLESS-1, 600x800' "$work/vantelink.log" ||
  fail "the turned output was not captured"
compare turned

end_program "$exe" program
# Two outputs, the painter's at 640,0 right of a bare one at the origin: the area there copies
# that output, and so does the area at 0,0 of that output named.
stop_sway
SECOND_OUTPUT="resolution 640x480 position 0 0" start_sway 800x600 position 640 0
for run in second named; do
  [ $run = second ] && printf "${settings}G.AREA.X=640\n" >"$ini" || printf "${settings}G.OUTPUT=HEADLESS-1\n" >"$ini"
  start_program exe $run
  grab=640,0 compare $run
  grep -q '^vantelink: capture: screencopy (output HEADLESS-1, 800x600' "$work/$run.log" ||
    fail "$run: the output holding the area was not chosen"
  end_program "$exe" $run
done
# The window mirror: the screen copy has no window to offer.
printf "${settings}G.MODE=2\n" >"$ini"
start_program exe window
wait_label "$work/window.log" 0 1 "*この環境ではウィンドウミラーを使えません*" 10000 >/dev/null ||
  fail "window mirror on sway: the status did not say it is unavailable"
end_program "$exe" window
echo "PASS: panel equals grim's preview (mirror, moved square, after sway's return, turned output, area on a second output, that output named); still screen: no copy; window mirror unavailable"
