#!/usr/bin/env bash
# The Windows program from end to end under Wine: a picture shown by a window of the test (the
# screen of Wine holds Wine's windows only), vantela-sim as COM41 through the prefix's dosdevices,
# vantelink.exe with its settings under the prefix's APPDATA. The panel must be the preview of
# the picture; in the window mirror, a closed window must be found again when it reappears;
# closing the window must end the program with status 0 and the settings written.
# Usage: program-wine.sh LINUX_BUILD WINDOWS_BUILD VANTELINK_EXE SHOW_PICTURE_EXE
set -uo pipefail
build=$(cd "$1" && pwd)
win_build=$(cd "$2" && pwd)
exe=$3
picture_exe=$4
source "$(dirname "$0")/e2e-lib.sh"
e2e_require wine
[ -x "$build/tools/vantela-sim" ] || fail "build the linux preset first"
run="$root/cmake/wine-run.sh"
export WINEPREFIX=${WINEPREFIX:-$win_build/wineprefix}
# Wine links com1 to com32 to the machine's serial devices at every start; com41 stays ours.
port=41
link="$WINEPREFIX/dosdevices/com$port"
start_xvfb

# The prefix first (once), so that Wine's own port set-up cannot replace the link.
"$run" "$win_build" cmd /c exit >/dev/null 2>&1 || true
user_dir=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Roaming 2>/dev/null | grep -v /Public/ | head -n 1)
[ -n "$user_dir" ] || fail "no APPDATA folder in $WINEPREFIX"
ini="$user_dir/vantela/vantelink.ini"
mkdir -p "$user_dir/vantela"
settings="MO.0.ACTIVE=1\nMO.0.PORT=$port\nMO.0.DITHER=1\nMO.0.POS.X=32\nMO.0.POS.Y=16\n"
printf "$settings" >"$ini"

# A command line it does not understand: refused on the redirected standard error with status 2,
# before the settings are read or written.
touch -d '2020-01-01' "$ini"
before=$(stat -c '%Y %s' "$ini")
status=0
timeout 60 "$run" "$win_build" "$exe" --bogus >"$work/bogus.out" 2>"$work/bogus.err" || status=$?
[ "$status" -eq 2 ] || fail "--bogus: exit status $status"
grep -q '^vantelink: unknown option --bogus' "$work/bogus.err" || fail "--bogus: $(cat "$work/bogus.err")"
[ "$(stat -c '%Y %s' "$ini")" = "$before" ] || fail "--bogus touched the settings file"
mkdir -p "$WINEPREFIX/dosdevices"
dirs+=("$link")
start_sim sim "$link" --png "$work/panel-$port.png"

spawn picture "$work/picture.log" - "$run" "$win_build" "$picture_exe"
spawn prog "$work/vantelink.log" - "$run" "$win_build" "$exe"

# Streaming: the window's 4-second timer resends the whole area; the panel then shows the picture.
ok=""
for attempt in $(seq 20); do
  sleep 1
  (compare_panel "$sim" "$port" "try$attempt" "$settings" >"$work/compare.log" 2>&1) && { ok=1; break; }
done
[ -n "$ok" ] || fail "the panel never matched the preview of the picture"

# Closing the window (WM_CLOSE, as its close box sends) ends the program.
"$run" "$win_build" taskkill /im "$(basename "$exe")" >"$work/taskkill.log" 2>&1 || true
status=124
for _ in $(seq 100); do
  if ! alive "$prog"; then wait "$prog"; status=$?; break; fi
  sleep 0.1
done
[ "$status" -eq 0 ] || fail "exit status $status after closing the window"
grep -q '^MO.0.ACTIVE=1' "$ini" && grep -q '^G.MODE=0' "$ini" || fail "settings not written: $(cat "$ini")"

# The window mirror of another program's window, which Wine's PrintWindow does not reach (the
# capture test mirrors one of its own): found, missing once closed, found again when reopened.
printf "${settings}G.MODE=2\nG.WINDOW.CLASS=VlShowPicture\n" >"$ini"
await_lines() {  # PATTERN COUNT
  for _ in $(seq 150); do [ "$(grep -ac -- "$1" "$work/window.log")" -ge "$2" ] && return 0; sleep 0.1; done
  fail "not $2 lines '$1' in the log"
}
VANTELINK_DEBUG=1 spawn prog "$work/window.log" - "$run" "$win_build" "$exe"
await_lines 'window capture: PrintWindow .* class "VlShowPicture"' 1 && await_lines '^label 1 動作中' 1
"$run" "$win_build" taskkill /im "$(basename "$picture_exe")" >"$work/taskkill.log" 2>&1 || true
await_lines '^label 1 \*ウィンドウが見つかりません\*' 1
spawn picture "$work/picture2.log" - "$run" "$win_build" "$picture_exe"
await_lines 'window capture: PrintWindow .* class "VlShowPicture"' 2 && await_lines '^label 1 動作中' 2
echo "PASS: --bogus refused untouched; the panel equals the preview of the picture; closing the window exits 0 with the settings written; the window mirror finds a window again after it closed"
