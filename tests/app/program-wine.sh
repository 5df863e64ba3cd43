#!/usr/bin/env bash
# The Windows program from end to end under Wine: a picture shown by a window of the test (the
# screen of Wine holds Wine's windows only), vantela-sim as COM41 through the prefix's dosdevices,
# vantelink.exe with its settings under the prefix's APPDATA. The panel must be the preview of
# the picture; closing the window must end the program with status 0 and the settings written.
# Usage: program-wine.sh LINUX_BUILD WINDOWS_BUILD VANTELINK_EXE SHOW_PICTURE_EXE
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
linux_build=$(cd "$1" && pwd); win_build=$(cd "$2" && pwd); exe=$3; picture_exe=$4
for tool in Xvfb import /usr/bin/python3 wine; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing"; exit 77; }
done
[ -x "$linux_build/tools/vantela-sim" ] || { echo "program-wine: build the linux preset first" >&2; exit 1; }
/usr/bin/python3 -c 'import PIL' 2>/dev/null || { echo "SKIP: python3-pil is missing"; exit 77; }
run="$root/cmake/wine-run.sh"
export WINEPREFIX=${WINEPREFIX:-$win_build/wineprefix}

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -f "$WINEPREFIX/dosdevices/com41"
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

# The prefix first (once), so that Wine's own port set-up cannot replace the link.
"$run" "$win_build" cmd /c exit >/dev/null 2>&1 || true
# Wine links com1 to com32 to the serial devices of the machine at every start; com41 stays ours.
user_dir=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Roaming 2>/dev/null | grep -v /Public/ | head -n 1)
[ -n "$user_dir" ] || fail "no APPDATA folder in $WINEPREFIX"
ini="$user_dir/vantela/vantelink.ini"
mkdir -p "$user_dir/vantela"
settings='MO.0.ACTIVE=1\nMO.0.PORT=41\nMO.0.DITHER=1\nMO.0.POS.X=32\nMO.0.POS.Y=16\n'
printf "$settings" >"$ini"
printf "$settings" >"$work/preview.ini"
mkdir -p "$WINEPREFIX/dosdevices"
"$linux_build/tools/vantela-sim" --link "$WINEPREFIX/dosdevices/com41" --speed 0 --png "$work/panel.png" \
  >"$work/sim.log" 2>&1 &
sim=$!
pids+=($sim)
for _ in $(seq 200); do [ -L "$WINEPREFIX/dosdevices/com41" ] && break; sleep 0.05; done

"$run" "$win_build" "$picture_exe" >"$work/picture.log" 2>&1 &
pids+=($!)
"$run" "$win_build" "$exe" >"$work/vantelink.log" 2>&1 &
prog=$!
pids+=($prog)

# Streaming: the window's 4-second timer resends the whole area; the panel then shows the picture.
ok=""
for _ in $(seq 20); do
  sleep 1
  kill -USR1 "$sim"
  sleep 0.3
  import -window root -crop 640x480+0+0 +repage "$work/screen.png" 2>/dev/null || continue
  "$linux_build/tools/vantela-preview" --settings "$work/preview.ini" "$work/screen.png" "$work/preview.png" || continue
  if /usr/bin/python3 "$here/compare-panels.py" "$work/panel.png" "$work/preview.png" >"$work/compare.log" 2>&1; then
    ok=1
    break
  fi
done
[ -n "$ok" ] || fail "the panel never matched the preview of the picture"

# Closing the window (WM_CLOSE, as its close box sends) ends the program.
"$run" "$win_build" taskkill /im "$(basename "$exe")" >"$work/taskkill.log" 2>&1 || true
status=124
for _ in $(seq 100); do
  if ! kill -0 "$prog" 2>/dev/null; then wait "$prog"; status=$?; break; fi
  sleep 0.1
done
[ "$status" -eq 0 ] || fail "exit status $status after closing the window"
grep -q '^MO.0.ACTIVE=1' "$ini" && grep -q '^G.MODE=0' "$ini" || fail "settings not written: $(cat "$ini")"
echo "PASS: the panel equals the preview of the picture; closing the window exits 0 with the settings written"
