#!/usr/bin/env bash
# The desktop portal's figures against a real PipeWire on a private session bus, the stand-in
# portal service of the tests handing out a producer's node. Processor time per frame of the
# reading process (the program's portal capture, its stream thread included) at 640 x 480 and
# 1920 x 1080, BGRx and RGBx, a 64 x 64 square moved vs. the whole frame changed, beside the
# program's XShm capture of an Xvfb of the same size (reader, and reader + X server), with the
# ratios. Then the whole program's processor time on a still portal screen with two devices
# (goal: at most 0.5 % of a core).
# Usage: portal-figures.sh BUILD_DIR; FIGURES_SECONDS sets the still window (default 30),
# PORTAL_FRAMES the frames read per case (120), PORTAL_CHANGES the changes (square whole).
# Exits 77 where dbus-daemon, pipewire, wireplumber or Python's D-Bus and GLib are missing.
set -euo pipefail
build=$(cd "${1:-build/linux}" && pwd)
bench=$(cd "$(dirname "$0")" && pwd)
for tool in dbus-daemon pipewire wireplumber Xvfb; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing"; exit 77; }
done
/usr/bin/python3 -c 'import dbus, dbus.mainloop.glib, gi.repository.GLib' 2>/dev/null ||
  { echo "SKIP: /usr/bin/python3 with D-Bus and GLib bindings is missing"; exit 77; }
measure="$build/bench/portal-measure" x11measure="$build/bench/screencopy-measure"
for p in "$measure" "$x11measure"; do [ -x "$p" ] || { echo "SKIP: $p is not built"; exit 77; }; done
. "$bench/../scripts/lib/harness.sh"
window_seconds=${FIGURES_SECONDS:-30}
frames=${PORTAL_FRAMES:-120}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
sum() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a + b }'; }
net() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", (a > b ? a - b : 0) }'; }

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
# The private session: its own runtime folder, bus, PipeWire and session manager.
export XDG_RUNTIME_DIR="$work/runtime" XDG_STATE_HOME="$work/state"
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset PIPEWIRE_REMOTE
spawn bus_pid "$work/bus-address" "$work/bus.log" dbus-daemon --session --nofork --print-address=1
for _ in $(seq 200); do [ -s "$work/bus-address" ] && break; sleep 0.025; done
[ -s "$work/bus-address" ] || fail "dbus-daemon did not start"
export DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$work/bus-address")
spawn pipewire_pid "$work/pipewire.log" - pipewire
for _ in $(seq 200); do [ -S "$XDG_RUNTIME_DIR/pipewire-0" ] && break; sleep 0.025; done
spawn wireplumber_pid "$work/wireplumber.log" - wireplumber

# start_producer W H FORMAT CHANGE: the producer and a portal service handing out its node.
start_producer() {
  local node="" _
  rm -f "$work/producer.out"
  spawn producer_pid "$work/producer.out" "$work/producer.log" "$measure" produce "$@"
  for _ in $(seq 200); do node=$(head -n 1 "$work/producer.out" 2>/dev/null); [ -n "$node" ] && break; sleep 0.025; done
  [ -n "$node" ] || fail "the producer has no node"
  rm -f "$work/portal.log"
  spawn service_pid "" "$work/service.log" /usr/bin/python3 "$bench/../tests/source/portal-service.py" "$node" "$work/portal.log"
  for _ in $(seq 200); do grep -q "^ready$" "$work/portal.log" 2>/dev/null && break; sleep 0.025; done
  grep -q '^ready$' "$work/portal.log" || fail "the portal service did not start"
}
# stop PID...: stops these processes of ours and waits for them.
stop() {
  local p
  for p in "$@"; do kill "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
}

for size in 640x480 1920x1080; do
  w=${size%x*} h=${size#*x}
  spawn xvfb_pid "$work/xvfb.log" - Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -noreset 3>"$work/display-$size"
  for _ in $(seq 200); do [ -s "$work/display-$size" ] && break; sleep 0.05; done
  read -r _ x11_client x11_server x11_alone < <(DISPLAY=":$(head -n 1 "$work/display-$size")" \
    "$x11measure" x11 "$w" "$h" 150 "$xvfb_pid") || fail "x11 $size"
  stop "$xvfb_pid"
  x11=$(sum "$x11_client" "$(net "$x11_server" "$x11_alone")")
  echo "$size X11 XShm processor ms per frame: reader $x11_client, reader + X server $x11"
  for format in BGRx RGBx; do
    for change in ${PORTAL_CHANGES:-square whole}; do
      start_producer "$w" "$h" "$format" "$change"
      read -r _ portal < <(VANTELINK_DEBUG=1 "$measure" read "$w" "$h" "$frames" 2>"$work/read.log") || fail "portal $size $format $change"
      stop "$service_pid" "$producer_pid"
      echo "$size $format $change changed: portal reader $portal ms per frame;" \
        "portal / X11 XShm reader $(ratio "$portal" "$x11_client"), / X11 reader + server $(ratio "$portal" "$x11")"
    done
  done
done

# The whole program on a still portal screen: the stream linked, no buffer coming.
start_xvfb
use_settings_folder
printf 'MO.0.ACTIVE=1\nMO.0.PORT=1\nMO.1.ACTIVE=1\nMO.1.PORT=2\nMO.1.POS.X=240\n' >"$ini"
start_sim sim1 1 --speed 1000000
start_sim sim2 2 --speed 1000000
start_producer 1920 1080 BGRx still
VANTELINK_CAPTURE=portal start_program exe vantelink
# share SECONDS: percent of a core the program used over that many seconds from now.
share() {
  local t0 t1
  t0=$(cpu_ticks "$exe")
  sleep "$1"
  t1=$(cpu_ticks "$exe")
  awk -v t=$((t1 - t0)) -v hz="$(getconf CLK_TCK)" -v s="$1" 'BEGIN { printf "%.3f", 100 * t / hz / s }'
}
sleep 5
# For contrast, the same program while the whole frame changes 30 times a second.
moving=$(share 5)
kill -USR1 "$producer_pid"
sleep 1
still=$(share "$window_seconds")
grep -q '^vantelink: capture: portal' "$work/vantelink.log" || fail "the program did not choose the portal"
grep -q '^OpenPipeWireRemote$' "$work/portal.log" || fail "the program did not open the stream"
end_program "$exe" vantelink
echo "still portal screen, two devices, ${window_seconds} s: $still % of a core; goal 0.5 %: ratio $(ratio "$still" 0.5)" \
  "(while the whole 1920 x 1080 frame changed 30 times a second: $moving %)"
