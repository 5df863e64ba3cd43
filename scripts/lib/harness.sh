# The one harness of the scripts that run the program with an X server and devices around it
# (the demo, the soak, `make run`, the program's figures, the end-to-end tests). Sourced after
# `build` is set to a build folder. It makes a work folder ($work) and, at exit, on Ctrl-C or
# SIGTERM, stops every process started through it, newest first, waits for each and removes the
# folder. Every child is also tied to this shell (parent-death signal), so that a shell killed
# outright (a CTest time-out sends SIGKILL) leaves no X server, simulator or program behind.
harness_lib=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$harness_lib/../.." && pwd)
harness_name=${harness_name:-$(basename "$0")}
harness_shell=$BASHPID
# Under AddressSanitizer: the fonts' caches are not leaks.
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

# The prefix that ties a child to this shell: a simple command in the background with it keeps
# $! the child's own process id (setpriv executes the command in its place).
tie=()
if setpriv --help 2>/dev/null | grep -q -- --pdeathsig; then tie=(setpriv --pdeathsig TERM); fi

work=$(mktemp -d)
chmod 755 "$work"
pids=()   # stopped at exit, newest first
dirs=()   # more paths to remove at exit
keep_work=${keep_work:-${KEEP:-0}}
program_options=()  # the program's command-line options (start_program)

# alive PID: true while PID is a running child of this shell (not one that ended, nor a later
# process that happens to get the number of one that was waited for).
alive() {
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  stat=${stat##*) }  # the fields after the command name: state, parent, ...
  set -- $stat
  [ "$1" != Z ] && [ "$2" = "$harness_shell" ]
}

# stop_all: every process started here, newest first (programs before their servers): SIGCONT
# and SIGTERM, SIGKILL to what still runs 5 s later, then waited for.
stop_all() {
  local i p _
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    p=${pids[i]}
    alive "$p" || continue
    kill -CONT "$p" 2>/dev/null || true
    kill -TERM "$p" 2>/dev/null || true
  done
  for p in "${pids[@]}"; do
    for _ in $(seq 50); do alive "$p" || break; sleep 0.1; done
    alive "$p" && kill -KILL "$p" 2>/dev/null
    wait "$p" 2>/dev/null || true
  done
  pids=()
}
harness_exit() {
  stop_all
  chmod -R u+w "$work" 2>/dev/null || true
  if [ "$keep_work" = 1 ]; then echo "$harness_name: kept $work"; else rm -rf "$work" "${dirs[@]}"; fi
}
trap harness_exit EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

fail() {
  echo "$harness_name: FAIL: $*"
  local f
  for f in "$work"/*.log "$work"/*.err "$work"/asan.*; do [ -e "$f" ] && { echo "--- $f"; tail -n 40 "$f"; }; done
  exit 1
}

# Milliseconds since the epoch.
now_ms() { local t=${EPOCHREALTIME/./}; echo $((t / 1000)); }

# spawn VAR OUT ERR COMMAND...: COMMAND in the background, tied to this shell and stopped at
# exit; its standard output to the file OUT, its errors to ERR ("-": to OUT as well); an empty
# OUT or ERR leaves that stream as it is. Its process id goes to VAR.
spawn() {
  local var=$1 out=$2 err=$3
  shift 3
  [ "$err" = - ] && err=$out
  if [ -n "$out" ] && [ -n "$err" ]; then
    "${tie[@]}" "$@" >"$out" 2>"$err" &
  elif [ -n "$out" ]; then
    "${tie[@]}" "$@" >"$out" &
  elif [ -n "$err" ]; then
    "${tie[@]}" "$@" 2>"$err" &
  else
    "${tie[@]}" "$@" &
  fi
  pids+=($!)
  printf -v "$var" %s "$!"
}

# repeat_while_here COMMAND...: COMMAND again and again in a background loop that ends with
# this shell (stopped at exit, or when the shell is gone); sets repeat_pid.
repeat_while_here() {
  (while kill -0 "$harness_shell" 2>/dev/null; do "$@"; done) &
  repeat_pid=$!
  pids+=($repeat_pid)
}

# start_xvfb [SCREEN]: a private Xvfb (1024x768x24 unless told) on a free display number, which
# it writes to a file of ours; sets DISPLAY and xvfb_pid. Only Xvfb holds that file open.
start_xvfb() {
  local out="$work/display.$RANDOM" _
  spawn xvfb_pid "$work/xvfb.log" - Xvfb -displayfd 3 -screen 0 "${1:-1024x768x24}" -nolisten tcp -noreset 3>"$out"
  for _ in $(seq 200); do [ -s "$out" ] && break; alive "$xvfb_pid" || break; sleep 0.05; done
  [ -s "$out" ] || fail "Xvfb did not start"
  export DISPLAY=":$(head -n 1 "$out")"
}

# show_picture FILE [DISPLAY]: the root window's background, on this display or another.
show_picture() {
  DISPLAY=${2:-$DISPLAY} display -window root "$1" 2>/dev/null || true  # sets it, then exits 1 all the same
}

# use_settings_folder [NAME]: a private settings folder in the work folder; sets ini.
use_settings_folder() {
  export XDG_CONFIG_HOME="$work/${1:-config}"
  ini="$XDG_CONFIG_HOME/vantela/vantelink.ini"
  mkdir -p "$XDG_CONFIG_HOME/vantela"
}

# start_sim VAR PORT|LINK [OPTIONS...]: vantela-sim as COM PORT of the settings folder (or on
# the link LINK, a path), at full speed with its panel in $work/panel-PORT.png unless OPTIONS
# say otherwise (the last of an option counts), its output in $work/sim-PORT.log; stores its
# process id in VAR once the link exists.
start_sim() {
  local var=$1 port=$2 link where _
  shift 2
  if [[ "$port" =~ ^[0-9]+$ ]]; then
    link="$XDG_CONFIG_HOME/vantela/ports/com$port"
    where=(--port "$port")
  else
    link=$port
    port=$(basename "$link")
    where=(--link "$link")
  fi
  spawn "$var" "$work/sim-$port.log" - "$build/tools/vantela-sim" "${where[@]}" --speed 0 --png "$work/panel-$port.png" "$@"
  for _ in $(seq 200); do [ -L "$link" ] && break; sleep 0.05; done
  [ -L "$link" ] || fail "vantela-sim did not link $link"
}

# start_program VAR NAME [RUNNER...]: the real program (through RUNNER, when given) with its
# output in $work/NAME.log, its value texts traced there too unless program_trace=0, and the
# options in the array program_options; stores its process id in VAR.
start_program() {
  local var=$1 name=$2
  shift 2
  # A runner may change the user, which clears the tie: the program is tied again after it.
  [ $# -eq 0 ] || set -- "$@" "${tie[@]}"
  if [ "${program_trace:-1}" = 1 ]; then
    VANTELINK_DEBUG=1 spawn "$var" "$work/$name.log" - "$@" "$build/vantelink" "${program_options[@]}"
  else
    spawn "$var" "$work/$name.log" - "$@" "$build/vantelink" "${program_options[@]}"
  fi
}

# start_vdisplay VAR NAME [OPTIONS...]: the external monitor's stand-in, its output in
# $work/NAME.out and $work/NAME.log; stores its process id in VAR and its display in vd_display.
start_vdisplay() {
  local var=$1 name=$2 _
  shift 2
  spawn "$var" "$work/$name.out" "$work/$name.log" "$build/tools/vantela-vdisplay" "$@"
  for _ in $(seq 400); do grep -q '^DISPLAY=:' "$work/$name.out" && break; sleep 0.05; done
  vd_display=$(sed -n 's/^DISPLAY=//p' "$work/$name.out" | head -n 1)
  [ -n "$vd_display" ] || fail "vantela-vdisplay did not start"
}

# find_window VAR PID: the program's window, moved aside, off the captured 640 x 480.
find_window() {
  local w="" _
  for _ in $(seq 1200); do
    w=$(xdotool search --pid "$2" --onlyvisible --name '^Vantelink' 2>/dev/null | head -n 1 || true)
    [ -n "$w" ] && break
    alive "$2" || fail "the program ended before its window appeared"
    sleep 0.05
  done
  [ -n "$w" ] || fail "no window"
  xdotool windowmove --sync "$w" 700 40
  printf -v "$1" %s "$w"
}

# wait_exit PID LIMIT-S: waits for the process to end (it must be a child); sets exit_status.
wait_exit() {
  timeout "$2" tail --pid="$1" -f /dev/null || return 1
  exit_status=0
  wait "$1" || exit_status=$?
}

# end_program PID NAME: SIGTERM, as closing the window; it must end with status 0.
end_program() {
  kill -TERM "$1" 2>/dev/null || fail "$2: the program had already ended"
  wait_exit "$1" 10 || fail "$2: the program did not end after SIGTERM"
  [ "$exit_status" -eq 0 ] || fail "$2: exit status $exit_status after SIGTERM"
}

# Processor time (user + system) of a process in clock ticks, from /proc/PID/stat.
cpu_ticks() {
  local stat
  stat=$(cat "/proc/$1/stat") || return 1
  stat=${stat##*) }  # the fields after the command name, which may hold blanks
  set -- $stat
  echo $((${12} + ${13}))
}

size_of() { stat -c %s "$1" 2>/dev/null || echo 0; }

# The number of lines in a file (0 when it does not exist).
lines_of() { [ -e "$1" ] && wc -l <"$1" || echo 0; }
