# The end-to-end tests' layer over the scripts' harness (scripts/lib/harness.sh), which starts
# and stops the processes: what only the tests need. Sourced after `build` is set.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
harness_name=$(basename "$0")
. "$here/../../scripts/lib/harness.sh"

# Skips (exit 77) unless the tools the scripts drive are installed.
e2e_require() {
  local tool
  for tool in Xvfb xdotool import display /usr/bin/python3 "$@"; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing"; exit 77; }
  done
  /usr/bin/python3 -c 'import PIL' 2>/dev/null || { echo "SKIP: python3-pil is missing"; exit 77; }
}

# wait_records LOG FIRST LAST SINCE-NS LIMIT-MS: waits until vantela-sim's record log holds, for
# every panel address FIRST to LAST, a record after SINCE-NS (CLOCK_MONOTONIC) that changed its
# line (any record when SINCE-NS is 0); prints the milliseconds from SINCE-NS to the last of
# them, or returns 1.
wait_records() {
  local log=$1 first=$2 last=$3 since=$4 limit=$5 start got
  start=$(now_ms)
  while :; do
    got=$(/usr/bin/python3 - "$log" "$first" "$last" "$since" <<'PY'
import sys
first, last, since = int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
seen = {}
try:
    for line in open(sys.argv[1]):
        t, address, _, changed = map(int, line.split())
        if first <= address <= last and t > since and (changed or since == 0):
            seen.setdefault(address, t)
except (OSError, ValueError):
    pass
if len(seen) == last - first + 1:
    print((max(seen.values()) - since) // 1000000 if since else 0)
PY
)
    [ -n "$got" ] && { echo "$got"; return 0; }
    [ $(($(now_ms) - start)) -lt "$limit" ] || return 1
    sleep 0.1
  done
}

# wait_label LOG FROM-LINE ID TEXT TIMEOUT-MS: waits until the trace in LOG, after its first
# FROM-LINE lines, shows label ID with TEXT; prints how many ms that took, or returns 1.
wait_label() {
  local log=$1 from=$2 id=$3 text=$4 limit=$5 start
  start=$(now_ms)
  while :; do
    if tail -n +"$((from + 1))" "$log" | grep -qxF "label $id $text"; then
      echo $(($(now_ms) - start))
      return 0
    fi
    [ $(($(now_ms) - start)) -lt "$limit" ] || return 1
    sleep 0.02
  done
}

# The last text label ID showed, according to the trace in LOG.
last_label() { grep "^label $2 " "$1" | tail -n 1 | cut -d' ' -f3-; }

# click WINDOW X Y: a click at client coordinates (below the 19-pixel menu bar).
click() { xdotool mousemove --window "$1" "$2" $(($3 + 19)) click 1; }

# compare_panel SIM-PID PORT NAME SETTINGS-TEXT [SCREEN-DISPLAY [ORIGIN]]: the simulator's panel
# now against what vantela-preview makes of the screen (the captured 640 x 480 at ORIGIN, +X+Y in
# root coordinates, +0+0 unless told) with those settings.
compare_panel() { compare_panel_to "$1" "$2" "$3" "$4" "" "${5:-$DISPLAY}" "${6:-+0+0}"; }

# compare_panel_to SIM-PID PORT NAME SETTINGS-TEXT PICTURE [SCREEN-DISPLAY [ORIGIN]]: the same
# against a picture file, or with PICTURE empty against the screen taken just after the panel.
compare_panel_to() {
  local sim=$1 port=$2 name=$3 settings=$4 picture=$5 screen=${6:-$DISPLAY} origin=${7:-+0+0}
  rm -f "$work/panel-$port.png"
  kill -USR1 "$sim"
  local _
  for _ in $(seq 100); do [ -s "$work/panel-$port.png" ] && break; sleep 0.02; done
  sleep 0.1
  cp "$work/panel-$port.png" "$work/panel-$name.png"
  if [ -z "$picture" ]; then
    picture="$work/screen-$name.png"
    DISPLAY=$screen import -window root -crop "640x480$origin" +repage "$picture"
  fi
  printf "$settings" >"$work/preview-$name.ini"
  "$build/tools/vantela-preview" --settings "$work/preview-$name.ini" "$picture" \
    "$work/preview-$name.png" || fail "preview $name"
  /usr/bin/python3 "$here/compare-panels.py" "$work/panel-$name.png" "$work/preview-$name.png" ||
    fail "panel $name differs from the preview"
}

# wait_refresh WIRE: with the screen still, waits for the window's timer to resend the whole
# area (what the simulator received, WIRE, grows after a quiet spell) and for it to arrive.
wait_refresh() {
  local size start quiet
  size=$(size_of "$1")
  quiet=$(now_ms)
  start=$quiet
  while [ $(($(now_ms) - quiet)) -lt 300 ]; do
    sleep 0.05
    [ "$(size_of "$1")" -eq "$size" ] && continue
    size=$(size_of "$1")
    quiet=$(now_ms)
    [ $(($(now_ms) - start)) -lt 3000 ] || fail "the device never stopped receiving"
  done
  start=$(now_ms)
  while [ "$(size_of "$1")" -eq "$size" ]; do
    [ $(($(now_ms) - start)) -lt 5000 ] || fail "no full refresh within 5 s"
    sleep 0.02
  done
  refresh_at=$(now_ms)
  sleep 0.4
}
