#!/usr/bin/env bash
# The settings file under faults, with the real vantelink on a private Xvfb: hostile contents
# (binary bytes, huge and non-numbers, 100 000-byte lines, a folder in the file's place, a
# settings folder that cannot be written), and kills in the middle of saving.
# Usage: settings-faults-x11.sh BUILD [SCENARIO...] (hostile kills; default both)
set -euo pipefail
build=$(cd "$1" && pwd)
shift
. "$(dirname "$0")/e2e-lib.sh"
e2e_require
start_xvfb

# run_once NAME [RUNNER...]: the program on the current settings folder until its first
# housekeeping has opened the links and frames have run, then SIGTERM; exit status 0 asked.
run_once() {
  local name=$1 exe win
  shift
  start_program exe "$name" "$@"
  find_window win "$exe"
  sleep 0.6
  end_program "$exe" "$name"
  if grep -q 'runtime error\|ERROR: AddressSanitizer' "$work/$name.log"; then fail "$name: sanitizer report"; fi
}

# sane_labels NAME: every number the window shows is one (no nan or inf); a real too long for
# the label's 255 characters shows as its first digits.
sane_labels() {
  local log="$work/$1.log" id text
  for id in 8 10; do
    text=$(last_label "$log" "$id")
    [[ "$text" =~ ^-?[0-9]+\.[0-9][0-9]$ || "$text" =~ ^-?[0-9]{250,}$ ]] || fail "$1: label $id shows '$text'"
  done
  for id in 9 15 16; do
    text=$(last_label "$log" "$id")
    [[ "$text" =~ ^-?[0-9]+$ ]] || fail "$1: label $id shows '$text'"
  done
}

hostile() {
  local sim
  use_settings_folder hostile
  start_sim sim 1

  # Binary bytes, with a few real lines among them.
  /usr/bin/python3 - "$ini" <<'PY'
import random, sys
r = random.Random(7)
junk = bytes(r.randrange(256) for _ in range(20000))
with open(sys.argv[1], "wb") as f:
    f.write(junk[:5000] + b"\nMO.0.ACTIVE=1\nMO.0.PORT=1\n" + junk[5000:] + b"\nMO.0.DITHER=0\n\0\0=\0\n" + junk[:3000])
PY
  run_once binary
  sane_labels binary
  [ "$(last_label "$work/binary.log" 7)" = "白黒2値" ] || fail "binary: a line after the garbage was not read"
  [ "$(grep -c '^MO\.[0-3]\.' "$ini")" -eq 52 ] || fail "binary: the saved file lacks known keys"

  # Numbers out of every range, and words where numbers belong.
  printf '%s\n' 'MO.0.ACTIVE=1' 'MO.0.PORT=1' 'MO.0.POS.X=2147483647' 'MO.0.POS.Y=-99999999999999999999' \
    'MO.0.CONTRAST=1e308' 'MO.0.GAMMA=nan' 'MO.0.OFFSET=99999999999999' 'MO.0.SPEED=-2147483648' \
    'MO.0.DITHER=-7' 'MO.0.ROTATE=123456789' 'MO.0.SHRINK=-1' 'G.MODE=4294967296' 'MO.1.CONTRAST=-inf' \
    'MO.1.GAMMA=0x1p-1074' 'MO.1.ACTIVE=1' 'MO.1.PORT=99999' 'MO.1.POS.X=-2147483648' >"$ini"
  run_once huge
  sane_labels huge
  [ "$(last_label "$work/huge.log" 10)" = "1.00" ] || fail "huge: a gamma that is not a number was taken"
  # Values out of range are saved with the meaning they had.
  for line in MO.0.POS.X=240 MO.0.POS.Y=0 MO.0.SPEED=500000 MO.0.DITHER=0 MO.0.ROTATE=0 MO.0.SHRINK=0; do
    grep -qx "$line" "$ini" || fail "huge: the saved file lacks $line: $(head -c 300 "$ini")"
  done

  # An area far outside every screen: black on the panel (inverted: white), not the picture at 0, 0.
  /usr/bin/python3 "$root/scripts/demo-picture.py" "$work/picture.png" && show_picture "$work/picture.png"
  printf 'MO.0.ACTIVE=1\nMO.0.PORT=1\nMO.0.INVERT=1\nG.AREA.X=100000\nG.AREA.Y=-100000\n' >"$ini"
  run_once far
  rm -f "$work/panel-1.png" && kill -USR1 "$sim" && sleep 0.5
  /usr/bin/python3 -c 'import sys; from PIL import Image
sys.exit(Image.open(sys.argv[1]).convert("L").getextrema() != (255, 255))' "$work/panel-1.png" || fail "far: not blank"

  # 100 000-byte lines: without '=', as a value, after a comment; the lines after them count.
  /usr/bin/python3 - "$ini" <<'PY'
import sys
big = 100000
with open(sys.argv[1], "w") as f:
    f.write("A" * big + "\n")
    f.write("MO.0.ACTIVE=1\nMO.0.PORT=1\n")
    f.write("FOO.LONG=" + "x" * big + "\n")
    f.write("MO.0.CONTRAST=1.25 #" + "=" * big + "\n")
    f.write("MO.0.GAMMA=" + "9" * big + "\n")
    f.write("MO.0.INVERT=1\n")
PY
  run_once long
  sane_labels long
  [ "$(last_label "$work/long.log" 8)" = "1.25" ] || fail "long: the contrast after a long line"
  [ "$(last_label "$work/long.log" 13)" = "ON" ] || fail "long: the line after the long lines was not read"
  grep -q '^FOO.LONG=xxx' "$ini" || fail "long: the unknown key was lost"
  [ "$(wc -L <"$ini")" -le 1023 ] || fail "long: a saved line is longer than what is read back"

  # A folder where the file should be: nothing is read, nothing breaks, the folder stays.
  rm -f "$ini"
  mkdir "$ini"
  touch "$ini/keep"
  run_once folder
  sane_labels folder
  [ -d "$ini" ] && [ -e "$ini/keep" ] || fail "folder: the folder in the file's place was touched"
  [ ! -e "$ini.tmp" ] || fail "folder: the temporary file was left behind"
  rm -rf "$ini"
  kill -TERM "$sim"

  # A settings folder that cannot be written: the old file stays as it was.
  use_settings_folder readonly
  printf 'mo.0.contrast = 1.3   # mine\nMO.0.PORT=7\n' >"$ini"
  cp "$ini" "$work/readonly-before.ini"
  chmod 555 "$XDG_CONFIG_HOME/vantela"
  chmod 444 "$ini"
  local runner=()
  if [ "$(id -u)" -eq 0 ]; then
    # Root writes anywhere: the program runs as nobody instead.
    runner=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    chmod 755 "$XDG_CONFIG_HOME"
    "${runner[@]}" test -x "$build/vantelink" || { echo "readonly: SKIP (nobody cannot run the program here)"; return; }
  fi
  run_once readonly "${runner[@]}"
  sane_labels readonly
  [ "$(last_label "$work/readonly.log" 8)" = "1.30" ] || fail "readonly: the file was not read"
  cmp "$ini" "$work/readonly-before.ini" || fail "readonly: the old file changed"
  [ ! -e "$ini.tmp" ] || fail "readonly: a temporary file appeared"
  chmod 755 "$XDG_CONFIG_HOME/vantela"
  echo "hostile: binary, huge numbers, an area far off the screen, 100000-byte lines, a folder for the file, a read-only folder: all started, showed numbers and ended"
}

# outcome FILE OLD NEW...: sets result to which of the versions FILE holds, byte for byte
# ("old", "new1", ...), or fails; " mid" follows when the kill left the temporary file, i.e.
# came between its creation and the rename.
outcome() {
  local file=$1 old=$2 i=0 n
  shift 2
  [ -s "$file" ] || fail "kills: the settings file is empty or gone"
  result=""
  for n in "$@"; do
    i=$((i + 1))
    cmp -s "$file" "$n" && result=new$i && break
  done
  if [ -z "$result" ]; then
    cmp -s "$file" "$old" || fail "kills: the settings file is neither the old nor a new one: $(head -c 200 "$file")"
    result=old
  fi
  [ -e "$file.tmp" ] && result="$result mid"
  return 0
}

# pause MS: a wait of that many milliseconds without starting a process.
exec 9<> <(:)
pause() {
  local frac=$((1000 + $1 % 1000))
  read -r -t "$(($1 / 1000)).${frac:1}" -u 9 || true
}

# SIGKILL while the settings are saved, the file always old or new, whole. The program saves
# once at its exit, some milliseconds after SIGTERM; the kill comes after a delay that learns
# where that save lies. Starting the program costs a few hundred milliseconds, so the 200
# trials go to the same load and save code in a small program that saves without pause.
kills() {
  use_settings_folder kills
  local sim
  start_sim sim 1
  # An old file the program rewrites in other bytes: its own spelling, and 200 keys of its
  # users with long values, which makes a save take a while.
  /usr/bin/python3 - "$work/old.ini" <<'PY'
import sys
with open(sys.argv[1], "w") as f:
    f.write("mo.0.active = 1\nMO.0.PORT=1   # the simulator\nMO.0.CONTRAST=1.1\n")
    for i in range(200):
        f.write("USER.KEY%d=%s\n" % (i, ("value %d " % i) * 100))
PY
  cp "$work/old.ini" "$ini"
  local exe
  start_program exe kills-clean
  find_window win "$exe"
  end_program "$exe" kills
  cp "$ini" "$work/new.ini"
  cmp -s "$work/old.ini" "$work/new.ini" && fail "kills: the saved file is the old one"

  # After the window is up and the first housekeeping has opened the link, the save comes a
  # few tens of milliseconds after SIGTERM: the kill's delay moves toward it after each trial.
  local trials=${KILL_TRIALS:-15} t delay=3 old=0 new=0 mid=0 _
  for t in $(seq "$trials"); do
    cp "$work/old.ini" "$ini"
    rm -f "$ini.tmp"
    VANTELINK_DEBUG=1 "${tie[@]}" "$build/vantelink" >"$work/kills.log" 2>&1 &
    exe=$!
    for _ in $(seq 400); do grep -q '^label 16 ' "$work/kills.log" && break; sleep 0.01; done
    sleep 0.2
    kill -TERM "$exe"
    pause $((delay + RANDOM % 3))
    kill -KILL "$exe" 2>/dev/null || true
    wait "$exe" 2>/dev/null || true
    outcome "$ini" "$work/old.ini" "$work/new.ini"
    case $result in
      old) old=$((old + 1)); delay=$((delay + 1)) ;;
      new1) new=$((new + 1)); delay=$((delay - 1)) ;;
      *) mid=$((mid + 1)) ;;
    esac
    [ "$delay" -ge 0 ] || delay=0
    [ "$delay" -le 400 ] || delay=400
  done
  echo "kills: $trials kills of the program after SIGTERM: $old before the save, $mid during it, $new after it (kill delay now ${delay} ms)"

  # The same save, from a program that does nothing else, in a memory file system where a
  # trial costs little (a kill does not reach the disk either way).
  local fast
  fast=$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d -p "$work")
  dirs+=("$fast")
  export XDG_CONFIG_HOME="$fast"
  ini="$fast/vantela/vantelink.ini"
  mkdir -p "$fast/vantela"
  cp "$work/old.ini" "$ini"
  "$build/tests/app/vl_settings_saver" 1 && cp "$ini" "$work/saver-a.ini"
  cp "$work/old.ini" "$ini"
  "$build/tests/app/vl_settings_saver" 2 && cp "$ini" "$work/saver-b.ini"
  cp "$work/old.ini" "$ini"
  old=0 new=0 mid=0
  local start
  start=$(now_ms)
  for t in $(seq 200); do
    rm -f "$ini.tmp"
    "${tie[@]}" "$build/tests/app/vl_settings_saver" 0 &
    exe=$!
    # Past its start-up, which sanitizers make long: the first save has begun.
    for _ in $(seq 2000); do [ -e "$ini.tmp" ] && break; pause 1; done
    pause $((RANDOM % 8))
    kill -KILL "$exe"
    wait "$exe" 2>/dev/null || true
    outcome "$ini" "$work/old.ini" "$work/saver-a.ini" "$work/saver-b.ini"
    case $result in
      old) old=$((old + 1)) ;;
      *mid) mid=$((mid + 1)) ;;
      *) new=$((new + 1)) ;;
    esac
  done
  echo "kills: 200 kills of a program saving without pause: $mid during a save, $new between two, $old before the first ($(($(now_ms) - start)) ms)"
  [ "$mid" -ge 20 ] || fail "kills: too few kills came during a save to say anything"
  kill -TERM "$sim"
}

scenarios=("$@")
[ ${#scenarios[@]} -gt 0 ] || scenarios=(hostile kills)
for s in "${scenarios[@]}"; do "$s"; done
echo "PASS: ${scenarios[*]}"
