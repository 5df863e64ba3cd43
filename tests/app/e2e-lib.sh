# Shared by the end-to-end scripts on X11: sourced after `build` is set to the build folder.
# Everything started through these helpers is stopped and the work folder removed at exit.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
# Under AddressSanitizer: the fonts' caches are not leaks (see scripts/lsan.supp).
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

# Skips (exit 77) unless the tools the scripts drive are installed.
e2e_require() {
  local tool
  for tool in Xvfb xdotool import display /usr/bin/python3 "$@"; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing"; exit 77; }
  done
  /usr/bin/python3 -c 'import PIL' 2>/dev/null || { echo "SKIP: python3-pil is missing"; exit 77; }
}

work=$(mktemp -d)
chmod 755 "$work"
pids=()
dirs=()  # more folders to remove at exit
e2e_cleanup() {
  local p
  for p in "${pids[@]}"; do kill -CONT "$p" 2>/dev/null || true; kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  chmod -R u+w "$work" 2>/dev/null || true
  rm -rf "$work" "${dirs[@]}"
}
trap e2e_cleanup EXIT
fail() {
  echo "FAIL: $*"
  local f
  for f in "$work"/*.log; do echo "--- $f"; tail -n 40 "$f"; done
  exit 1
}

# Milliseconds since the epoch.
now_ms() { local t=${EPOCHREALTIME/./}; echo $((t / 1000)); }

# A private Xvfb of 1024 x 768; sets DISPLAY and xvfb_pid.
start_xvfb() {
  exec 3>"$work/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  pids+=($xvfb_pid)
  exec 3>&-
  local _
  for _ in $(seq 200); do [ -s "$work/display" ] && break; sleep 0.05; done
  [ -s "$work/display" ] || fail "Xvfb did not start"
  export DISPLAY=":$(head -n 1 "$work/display")"
}

# show_picture FILE [DISPLAY]: the root window's background, on this display or another.
show_picture() {
  DISPLAY=${2:-$DISPLAY} display -window root "$1" 2>/dev/null || true  # sets it, then exits 1 all the same
}

# A private settings folder; sets ini.
use_settings_folder() {
  export XDG_CONFIG_HOME="$work/${1:-config}"
  ini="$XDG_CONFIG_HOME/vantela/vantelink.ini"
  mkdir -p "$XDG_CONFIG_HOME/vantela"
}

# start_sim VAR PORT [OPTIONS...]: vantela-sim as COM PORT, its panel in $work/panel-PORT.png;
# stores its process id in VAR once the port's link exists.
start_sim() {
  local var=$1 port=$2
  shift 2
  "$build/tools/vantela-sim" --port "$port" --speed 0 --png "$work/panel-$port.png" "$@" \
    >"$work/sim-$port.log" 2>&1 &
  local pid=$!
  pids+=($pid)
  printf -v "$var" %s "$pid"
  local _
  for _ in $(seq 200); do [ -e "$XDG_CONFIG_HOME/vantela/ports/com$port" ] && break; sleep 0.05; done
  [ -e "$XDG_CONFIG_HOME/vantela/ports/com$port" ] || fail "vantela-sim did not link COM$port"
}

# start_program VAR NAME: the real program with its value texts traced to $work/NAME.log;
# stores its process id in VAR.
start_program() {
  VANTELINK_DEBUG=1 "$build/vantelink" >"$work/$2.log" 2>&1 &
  local pid=$!
  pids+=($pid)
  printf -v "$1" %s "$pid"
}

# find_window VAR PID: the program's window (moved aside, off the captured 640 x 480).
find_window() {
  local w="" _
  for _ in $(seq 400); do
    w=$(xdotool search --pid "$2" --onlyvisible --name '^Vantelink' 2>/dev/null | head -n 1 || true)
    [ -n "$w" ] && break
    kill -0 "$2" 2>/dev/null || fail "the program ended before its window appeared"
    sleep 0.05
  done
  [ -n "$w" ] || fail "no window"
  xdotool windowmove --sync "$w" 700 40
  printf -v "$1" %s "$w"
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

# The number of lines in a file (0 when it does not exist).
lines_of() { [ -e "$1" ] && wc -l <"$1" || echo 0; }

# The last text label ID showed, according to the trace in LOG.
last_label() { grep "^label $2 " "$1" | tail -n 1 | cut -d' ' -f3-; }

# click WINDOW X Y: a click at client coordinates (below the 19-pixel menu bar).
click() { xdotool mousemove --window "$1" "$2" $(($3 + 19)) click 1; }

# compare_panel SIM-PID PORT NAME SETTINGS-TEXT [SCREEN-DISPLAY]: the simulator's panel now
# against what vantela-preview makes of the screen (the captured 640 x 480) with those settings.
compare_panel() {
  local sim=$1 port=$2 name=$3 settings=$4 screen=${5:-$DISPLAY}
  rm -f "$work/panel-$port.png"
  kill -USR1 "$sim"
  local _
  for _ in $(seq 100); do [ -s "$work/panel-$port.png" ] && break; sleep 0.02; done
  sleep 0.1
  cp "$work/panel-$port.png" "$work/panel-$name.png"
  DISPLAY=$screen import -window root -crop 640x480+0+0 +repage "$work/screen-$name.png"
  printf "$settings" >"$work/preview-$name.ini"
  "$build/tools/vantela-preview" --settings "$work/preview-$name.ini" "$work/screen-$name.png" \
    "$work/preview-$name.png" || fail "preview $name"
  /usr/bin/python3 "$here/compare-panels.py" "$work/panel-$name.png" "$work/preview-$name.png" ||
    fail "panel $name differs from the preview"
}

# Processor time (user + system) of a process in clock ticks, from /proc/PID/stat.
cpu_ticks() {
  local stat
  stat=$(cat "/proc/$1/stat") || return 1
  stat=${stat##*) }  # the fields after the command name, which may hold blanks
  set -- $stat
  echo $((${12} + ${13}))
}

# wait_exit PID LIMIT-S: waits for the process to end (it must be a child); sets exit_status.
wait_exit() {
  timeout "$2" tail --pid="$1" -f /dev/null || return 1
  exit_status=0
  wait "$1" || exit_status=$?
}

size_of() { stat -c %s "$1" 2>/dev/null || echo 0; }

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

# end_program PID NAME: SIGTERM, as closing the window; it must end with status 0.
end_program() {
  kill -TERM "$1" 2>/dev/null || fail "$2: the program had already ended"
  wait_exit "$1" 10 || fail "$2: the program did not end after SIGTERM"
  [ "$exit_status" -eq 0 ] || fail "$2: exit status $exit_status after SIGTERM"
}
