#!/usr/bin/env bash
# The program from end to end on X11: a private Xvfb with a picture on its screen, vantela-sim
# as COM1, the real vantelink with a settings folder of its own. The simulator's panel must be
# what vantela-preview makes of the same screen with the same settings, also after settings
# are clicked in the window; SIGTERM ends the program cleanly with the settings written.
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
for tool in Xvfb xdotool import display /usr/bin/python3; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing"; exit 77; }
done
/usr/bin/python3 -c 'import PIL' 2>/dev/null || { echo "SKIP: python3-pil is missing"; exit 77; }

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; for f in "$work"/*.log; do echo "--- $f"; cat "$f"; done; exit 1; }

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 200); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(head -n 1 "$work/display")"
/usr/bin/python3 "$root/scripts/demo-picture.py" "$work/picture.png"
display -window root "$work/picture.png" || true  # sets the background, then exits 1 all the same

export XDG_CONFIG_HOME="$work/config"
ini="$XDG_CONFIG_HOME/vantela/vantelink.ini"
mkdir -p "$XDG_CONFIG_HOME/vantela"
settings='MO.0.ACTIVE=1\nMO.0.PORT=1\nMO.0.DITHER=1\nMO.0.POS.X=32\nMO.0.POS.Y=16\nMO.0.CONTRAST=1.100000\n'
printf "$settings" >"$ini"
"$build/tools/vantela-sim" --port 1 --speed 0 --png "$work/panel.png" >"$work/sim.log" 2>&1 &
sim=$!
pids+=($sim)
for _ in $(seq 200); do [ -e "$XDG_CONFIG_HOME/vantela/ports/com1" ] && break; sleep 0.05; done

"$build/vantelink" >"$work/vantelink.log" 2>&1 &
exe=$!
pids+=($exe)
win=$(timeout 20 xdotool search --sync --onlyvisible --name '^Vantelink' | head -n 1) || fail "no window"
# The window opens over the mirrored area; aside, it leaves the picture to the next full refresh.
xdotool windowmove --sync "$win" 700 40

# compare NAME EXTRA-SETTINGS: the panel now against the preview of the screen.
compare() {
  kill -USR1 "$sim"
  sleep 0.4
  cp "$work/panel.png" "$work/panel-$1.png"
  import -window root -crop 640x480+0+0 +repage "$work/screen-$1.png"
  printf "$settings$2" >"$work/preview-$1.ini"
  "$build/tools/vantela-preview" --settings "$work/preview-$1.ini" "$work/screen-$1.png" "$work/preview-$1.png" \
    || fail "preview $1"
  /usr/bin/python3 "$here/compare-panels.py" "$work/panel-$1.png" "$work/preview-$1.png" || fail "panel $1 differs from the preview"
}
# click X Y: a click at client coordinates (below the 19-pixel menu bar).
click() { xdotool mousemove --window "$win" "$1" $(($2 + 19)) click 1; sleep 0.5; }

sleep 4.6  # the window's 4-second timer resends the whole area
compare mirror ''
click 135 251  # inversion
compare inverted 'MO.0.INVERT=1\n'
click 117 175  # dither "-": Floyd-Steinberg to the two-level threshold
compare threshold 'MO.0.INVERT=1\nMO.0.DITHER=0\n'

kill -TERM "$exe"
status=0
wait "$exe" || status=$?
[ "$status" -eq 0 ] || fail "exit status $status after SIGTERM"
kill -0 "$exe" 2>/dev/null && fail "the program is still running"
grep -qx 'MO.0.INVERT=1' "$ini" || fail "inversion not saved: $(cat "$ini")"
grep -qx 'MO.0.DITHER=0' "$ini" || fail "dither not saved: $(cat "$ini")"

# The X server going away ends the program with its settings on disk.
rm -f "$ini"
"$build/vantelink" >"$work/vantelink2.log" 2>&1 &
exe=$!
pids+=($exe)
timeout 20 xdotool search --sync --onlyvisible --name '^Vantelink' >/dev/null || fail "no window the second time"
kill -TERM "${pids[0]}"
status=0
timeout 10 tail --pid="$exe" -f /dev/null || fail "the program outlived its X server"
wait "$exe" || status=$?
[ "$status" -eq 1 ] || fail "exit status $status when the X server went away"
grep -q '^G.MODE=0' "$ini" || fail "settings not saved when the X server went away"
echo "PASS: panel equals the preview (mirror, inverted, threshold); clean exit with settings saved; X server loss"
