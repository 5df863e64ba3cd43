#!/usr/bin/env bash
# The program from end to end on X11: a private Xvfb with a picture on its screen, vantela-sim
# as COM1, the real vantelink with a settings folder of its own. The simulator's panel must be
# what vantela-preview makes of the same screen with the same settings, also after settings
# are clicked in the window, and the panel preview window must show that panel; the capture area
# and a window picked with a click (the screen holds two monitors); SIGTERM ends the program
# cleanly with the settings written.
set -euo pipefail
build=$(cd "$1" && pwd)
. "$(dirname "$0")/e2e-lib.sh"
e2e_require xrandr xprop

start_xvfb 2560x1080x24  # room for the panel preview beside the captured area
xrandr --setmonitor left 1280/338x1080/285+0+0 none
xrandr --setmonitor right 1280/338x1080/285+1280+0 none
/usr/bin/python3 "$root/scripts/demo-picture.py" "$work/picture.png"
show_picture "$work/picture.png"

use_settings_folder
settings='MO.0.ACTIVE=1\nMO.0.PORT=1\nMO.0.DITHER=1\nMO.0.POS.X=32\nMO.0.POS.Y=16\nMO.0.CONTRAST=1.100000\n'
printf "$settings" >"$ini"

# A command line it does not understand: one line naming the fault, the usage, status 2, and
# nothing started or written.
touch -d '2020-01-01' "$ini"
before=$(stat -c '%Y %s' "$ini")
status=0
"$build/vantelink" --bogus >"$work/bogus.out" 2>"$work/bogus.err" || status=$?
[ "$status" -eq 2 ] || fail "--bogus: exit status $status"
[ "$(head -n 1 "$work/bogus.err")" = 'vantelink: unknown option --bogus' ] || fail "--bogus: $(cat "$work/bogus.err")"
grep -q '^usage: vantelink' "$work/bogus.err" || fail "--bogus: no usage"
[ "$(stat -c '%Y %s' "$ini")" = "$before" ] || fail "--bogus touched the settings file"
[ ! -e "$ini.tmp" ] || fail "--bogus began writing the settings"

start_sim sim 1

start_program exe vantelink
# The window opens over the mirrored area; aside, it leaves the picture to the next full refresh.
find_window win "$exe"

# compare NAME EXTRA-SETTINGS: the panel now against the preview of the screen.
compare() { compare_panel "$sim" 1 "$1" "$settings$2"; }

sleep 4.6  # the window's 4-second timer resends the whole area
compare mirror ''
click "$win" 135 251  # inversion
sleep 0.5
compare inverted 'MO.0.INVERT=1\n'
click "$win" 117 175  # dither "-": Floyd-Steinberg to the two-level threshold
sleep 0.5
compare threshold 'MO.0.INVERT=1\nMO.0.DITHER=0\n'

# The panel preview (File menu, second item): its doubled panel, pixel for pixel, is the
# simulator's panel.
xdotool key alt+f Down Return
preview=$(xdotool search --sync --pid "$exe" --onlyvisible --name '^パネルのプレビュー$' | head -n 1)
xdotool windowmove --sync "$preview" 1040 0
sleep 0.5
import -window "$preview" "$work/preview-window.png"
/usr/bin/python3 -c 'import sys
from PIL import Image
Image.open(sys.argv[1]).convert("L").crop((6, 26, 806, 506)).resize((400, 240), Image.NEAREST).save(sys.argv[2])' \
  "$work/preview-window.png" "$work/preview-panel.png"
/usr/bin/python3 "$here/compare-panels.py" "$work/panel-threshold.png" "$work/preview-panel.png" ||
  fail "the preview window differs from the simulator's panel"

# Picks from the File menu's keys: the area's top left on the second monitor, where the picture
# the root tiles with lies shifted; a pick that Escape ends; a window.
pick() { xdotool windowfocus --sync "$win" key alt+f $(printf 'Down %.0s' $(seq $(($1 - 1)))) Return && sleep 0.5; }
pick 3  # "キャプチャ範囲を選択…"
xdotool mousemove 1900 540 click 1
sleep 1.5
compare_panel "$sim" 1 area "${settings}MO.0.INVERT=1\nMO.0.DITHER=0\n" "$DISPLAY" +1900+540
pick 3
xdotool key Escape mousemove 50 50 click 1  # an ordinary click after it: the area stays
spawn viewer "" "" display -title 'Pick me' -geometry +100+500 "$work/picture.png"
shown=$(xdotool search --sync --onlyvisible --name '^Pick me$' | head -n 1)
pick 4  # "ミラーするウィンドウを選択…"
xdotool mousemove 300 700 click 1
wait_label "$work/vantelink.log" 0 2 'ウィンドウミラー' 3000 >/dev/null || fail "the mode row does not show the window mirror"

end_program "$exe" program
class=$(xprop -id "$shown" WM_CLASS | sed 's/.*", "//; s/"$//')  # its class part, as the viewer's version names it
kill -TERM "$viewer"
for line in G.AREA.X=1900 G.AREA.Y=540 'G.WINDOW.TITLE=Pick me' "G.WINDOW.CLASS=$class" G.MODE=2; do
  grep -qxF "$line" "$ini" || fail "picks: the settings file lacks $line: $(grep '^G\.' "$ini")"
done
grep -qx 'MO.0.INVERT=1' "$ini" || fail "inversion not saved: $(cat "$ini")"
grep -qx 'MO.0.DITHER=0' "$ini" || fail "dither not saved: $(cat "$ini")"

# The line at low speeds, a device reading at 9600 and 19200 bit/s: once the panel is filled, a
# one-off change at rows 200-210 reaches it, and after a picture setting's click the whole panel
# is the reference within 1.25 times a whole panel's time on the line.
/usr/bin/python3 - "$work/picture.png" "$work/picture-band.png" <<'PY'
import sys
from PIL import Image, ImageOps
img = Image.open(sys.argv[1]).convert("RGB")
img.paste(ImageOps.invert(img.crop((0, 200, img.width, 211))), (0, 200))
img.save(sys.argv[2])
PY
slow_line() {
  local speed=$1 picture=$2 panel_ms=$((240 * 570 * 1000 / $1)) s drawn took
  s="MO.0.ACTIVE=1\nMO.0.PORT=2\nMO.0.SPEED=$speed\nMO.0.DITHER=0\n"
  printf "$s" >"$ini"
  start_sim slow 2 --speed "$speed" --log "$work/records-$speed.txt"
  start_program exe "vantelink-$speed"
  find_window win "$exe"
  wait_records "$work/records-$speed.txt" 1 240 0 $((panel_ms * 3 + 5000)) >/dev/null ||
    fail "$speed bit/s: the panel was not filled"
  show_picture "$work/$picture"
  drawn=$(/usr/bin/python3 -c 'import time; print(time.monotonic_ns())')
  took=$(wait_records "$work/records-$speed.txt" 201 211 "$drawn" $((11 * 570 * 1000 / speed + 3000))) ||
    fail "$speed bit/s: a change at rows 200-210 did not reach the panel"
  echo "$speed bit/s: rows 200-210 on the panel after $took ms"
  click "$win" 135 251  # inversion
  sleep "$(awk -v p="$panel_ms" 'BEGIN { print 1.25 * p / 1000 }')"
  compare_panel "$slow" 2 "inverted-$speed" "${s}MO.0.INVERT=1\n"
  end_program "$exe" "vantelink-$speed"
  kill -TERM "$slow"
  wait "$slow" || true
}
slow_line 9600 picture-band.png
slow_line 19200 picture.png

# The window mirror: a window showing a picture, its right half covered by another window, is
# on the panel as the picture itself (on black beyond the window), also after it moved or shrank
# (thresholded: a dithered change reaches beside it only at the next full refresh);
# closed, the status says so; a matching window that appears is mirrored again.
window_mirror() {
  /usr/bin/python3 -c 'import tkinter' 2>/dev/null || { echo "SKIP: window mirror, python3-tk is missing"; return; }
  local s='MO.0.ACTIVE=1\nMO.0.PORT=3\nMO.0.DITHER=0\n' from shown wid
  printf "${s}G.MODE=2\nG.WINDOW.TITLE=mirrored picture\nG.WINDOW.CLASS=Vltest\n" >"$ini"
  # window-W-H.png: the picture's top left W x H on the 640 x 480 the panel shows.
  /usr/bin/python3 -c 'import sys
from PIL import Image
picture = Image.open(sys.argv[1]).convert("RGB").crop((40, 30, 520, 390))
picture.save(sys.argv[2])
for w, h in ((480, 360), (300, 200)):
    canvas = Image.new("RGB", (640, 480))
    canvas.paste(picture.crop((0, 0, w, h)))
    canvas.save(f"{sys.argv[3]}/window-{w}-{h}.png")' "$work/picture.png" "$work/window.png" "$work"
  spawn shown "$work/shown.log" - /usr/bin/python3 "$here/show-window.py" "$work/window.png" 200 150
  wid=$(xdotool search --sync --name '^mirrored picture$' | head -n 1)
  start_sim wsim 3
  start_program exe vantelink-window
  find_window win "$exe"
  wait_label "$work/vantelink-window.log" 0 1 "動作中" 6000 >/dev/null || fail "window: not streaming"
  sleep 1
  compare_panel_to "$wsim" 3 window "$s" "$work/window-480-360.png"
  xdotool windowmove --sync "$wid" 50 400
  sleep 1
  compare_panel_to "$wsim" 3 window-moved "$s" "$work/window-480-360.png"
  xdotool windowsize --sync "$wid" 300 200
  sleep 1
  compare_panel_to "$wsim" 3 window-shrunk "$s" "$work/window-300-200.png"
  from=$(lines_of "$work/vantelink-window.log")
  kill -TERM "$shown"
  wait "$shown" || true
  wait_label "$work/vantelink-window.log" "$from" 1 "*ウィンドウが見つかりません*" 3000 >/dev/null ||
    fail "window: the status did not say the window is gone"
  spawn shown "$work/shown-again.log" - /usr/bin/python3 "$here/show-window.py" "$work/window.png" 100 100
  wait_label "$work/vantelink-window.log" "$from" 1 "動作中" 3000 >/dev/null || fail "window: not mirrored again"
  sleep 1
  compare_panel_to "$wsim" 3 window-again "$s" "$work/window-480-360.png"
  end_program "$exe" vantelink-window
  kill -TERM "$shown" "$wsim"
  wait "$shown" "$wsim" || true
}
window_mirror

# The X server going away ends the program with its settings on disk, here in a file named
# on the command line, which is read as well as written; the default file stays away.
rm -f "$ini"
other="$work/other place/second.ini"
mkdir -p "$(dirname "$other")"
printf 'MO.0.ACTIVE=1\nMO.0.PORT=1\nMO.0.CONTRAST=1.300000\nX.KEPT=yes\n' >"$other"
program_options=(--settings "$other")
start_program exe vantelink2
find_window win "$exe"
kill -TERM "$xvfb_pid"
wait_exit "$exe" 10 || fail "the program outlived its X server"
[ "$exit_status" -eq 1 ] || fail "exit status $exit_status when the X server went away"
grep -q '^G.MODE=0' "$other" || fail "settings not saved in the named file when the X server went away"
grep -qx 'MO.0.CONTRAST=1.300000' "$other" || fail "the named file was not read: $(cat "$other")"
grep -qx 'X.KEPT=yes' "$other" || fail "a key of the named file was lost"
[ ! -e "$ini" ] || fail "the default settings file was written beside the named one"
echo "PASS: --bogus refused untouched; panel equals the preview (mirror, inverted, threshold) and the preview window; picks of the area on a second monitor and of a window, and one cancelled; at 9600 and 19200 bit/s a change near the bottom and a click; clean exit with settings saved; a covered window mirrored, moved, shrunk, closed and back; X server loss with --settings"
