#!/usr/bin/env bash
# The wlroots screen copy's figures on a headless sway. Processor time per frame of reading a
# whole 640 x 480 and 1920 x 1080 output: the program's screen copy (the screen changing every
# frame), its XShm capture of an Xvfb of the same size, and grim for the same area; each as the
# reader's time and the display server's (less what the server spends as long without the
# reader: sway drawing the moving square), and the ratio of the sums. Then the whole program's
# processor time on a still sway screen with two devices (goal: at most 0.5 % of a core).
# Usage: screencopy-figures.sh BUILD_DIR; FIGURES_SECONDS sets the still window (default 30).
# Exits 77 where sway, grim or the painter are missing.
set -euo pipefail
build=$(cd "${1:-build/linux}" && pwd)
bench=$(cd "$(dirname "$0")" && pwd)
. "$bench/../tests/app/e2e-lib.sh"
. "$bench/../tests/source/sway-lib.sh"
measure="$build/bench/screencopy-measure"
[ -x "$measure" ] || { echo "SKIP: $measure is not built"; exit 77; }
window_seconds=${FIGURES_SECONDS:-30}

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
# ratio A B: A / B with two decimals.
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
sum() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a + b }'; }
# net SERVER ALONE: the server's time less its time without the reader, never below 0.
net() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", (a > b ? a - b : 0) }'; }

for size in 640x480 1920x1080; do
  w=${size%x*} h=${size#*x}
  PAINTER_ENV=VL_PAINTER_ANIMATE=1 start_sway "$size"
  read -r _ copy_client copy_server copy_alone < <("$measure" screencopy "$w" "$h" 150 "$sway_pid") || fail "screen copy $size"
  stop_sway
  PAINTER_ENV="" start_sway "$size"
  read -r _ grim_client grim_server grim_alone < <("$measure" grim "$w" "$h" 40 "$sway_pid") || fail "grim $size"
  stop_sway

  exec 3>"$work/display-$size"
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -noreset >"$work/xvfb-$size.log" 2>&1 &
  xvfb=$!
  pids+=($xvfb)
  exec 3>&-
  for _ in $(seq 200); do [ -s "$work/display-$size" ] && break; sleep 0.05; done
  read -r _ x11_client x11_server x11_alone < <(DISPLAY=":$(head -n 1 "$work/display-$size")" \
    "$measure" x11 "$w" "$h" 150 "$xvfb") || fail "x11 $size"
  kill "$xvfb"
  wait "$xvfb" 2>/dev/null || true

  copy_server=$(net "$copy_server" "$copy_alone") grim_server=$(net "$grim_server" "$grim_alone")
  x11_server=$(net "$x11_server" "$x11_alone")
  copy=$(sum "$copy_client" "$copy_server") x11=$(sum "$x11_client" "$x11_server") grim=$(sum "$grim_client" "$grim_server")
  echo "$size processor ms per frame (reader + server):" \
    "screen copy $copy_client + $copy_server = $copy;" \
    "X11 XShm $x11_client + $x11_server = $x11; grim $grim_client + $grim_server = $grim"
  echo "$size ratios: screen copy / X11 XShm $(ratio "$copy" "$x11"); screen copy / grim $(ratio "$copy" "$grim");" \
    "reader only: screen copy / X11 XShm $(ratio "$copy_client" "$x11_client")"
done

# The whole program on a still screen: one request pending, nothing copied, nothing compared;
# beside it the same program capturing its Xvfb instead, in the same conditions.
PAINTER_ENV="" start_sway 1920x1080
start_xvfb
use_settings_folder
printf 'MO.0.ACTIVE=1\nMO.0.PORT=1\nMO.1.ACTIVE=1\nMO.1.PORT=2\nMO.1.POS.X=240\n' >"$ini"
start_sim sim1 1 --speed 1000000
start_sim sim2 2 --speed 1000000
copies() { grep -c '^vantelink: screen copy [0-9]*:' "$work/$1.log" || true; }
# still_share NAME: percent of a core the program used over the window, started as NAME.
still_share() {
  start_program exe "$1"
  sleep 5
  local before t0 t1
  before=$(copies "$1")
  t0=$(cpu_ticks "$exe")
  sleep "$window_seconds"
  t1=$(cpu_ticks "$exe")
  copied=$(($(copies "$1") - before))
  end_program "$exe" "$1"
  share=$(awk -v t=$((t1 - t0)) -v hz="$(getconf CLK_TCK)" -v s="$window_seconds" \
    'BEGIN { printf "%.3f", 100 * t / hz / s }')
}
still_share vantelink
grep -q '^vantelink: capture: screencopy' "$work/vantelink.log" || fail "the program did not choose the screen copy"
wayland_share=$share wayland_copied=$copied
VANTELINK_CAPTURE=x11 still_share vantelink-x11
echo "still screen, two devices, ${window_seconds} s: screen copy $wayland_share % of a core ($wayland_copied frames" \
  "copied), X11 $share %; goal 0.5 %: ratio $(ratio "$wayland_share" 0.5); screen copy / X11 $(ratio "$wayland_share" "$share")"
