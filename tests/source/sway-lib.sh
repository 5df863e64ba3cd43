# A headless sway with the test painter on it, for the screen copy's test and figures; sourced
# after tests/app/e2e-lib.sh (its work folder, process list and fail), with `build` set.
# Skips (exit 77) without sway, grim, setpriv or the painter.
e2e_require sway grim setpriv
painter="$build/tests/source/wayland-painter"
[ -x "$painter" ] || { echo "SKIP: wayland-painter was not built"; exit 77; }

# sway refuses to run as root: it then runs as a system user made for it.
sway_user=$(id -un)
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  sway_user=vantela-sway
  id "$sway_user" >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin "$sway_user" ||
    { echo "SKIP: no unprivileged user for sway"; exit 77; }
  as_user=(setpriv --reuid="$(id -u "$sway_user")" --regid="$(id -g "$sway_user")" --init-groups)
fi
runtime="$work/wayland"
mkdir -m 700 "$runtime"
chown "$sway_user" "$runtime"
export WAYLAND_DISPLAY="$runtime/wayland-1"

# start_sway WIDTHxHEIGHT [OUTPUT SETTINGS...]: sway with one output of that mode (and settings,
# e.g. "transform 90"), a second one HEADLESS-2 when SECOND_OUTPUT holds its settings, and the
# painter's window on the first (painter environment from PAINTER_ENV); sets sway_pid and
# painter_pid once the picture is shown.
start_sway() {
  printf 'output HEADLESS-1 resolution %s %s\ndefault_border none\n' "$1" "${*:2}" >"$runtime/config"
  [ -z "${SECOND_OUTPUT:-}" ] || echo "output HEADLESS-2 $SECOND_OUTPUT" >>"$runtime/config"
  rm -f "$runtime"/wayland-*
  ${as_user[@]+"${as_user[@]}"} env -i PATH="$PATH" HOME="$runtime" XDG_RUNTIME_DIR="$runtime" \
    WLR_BACKENDS=headless WLR_HEADLESS_OUTPUTS=$((${SECOND_OUTPUT:+1} + 1)) WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 sway -c "$runtime/config" \
    >>"$work/sway.log" 2>&1 &
  sway_pid=$!
  pids+=($sway_pid)
  local _
  for _ in $(seq 200); do [ -S "$WAYLAND_DISPLAY" ] && break; sleep 0.05; done
  [ -S "$WAYLAND_DISPLAY" ] || fail "sway did not start"
  env ${PAINTER_ENV:-} "$painter" >"$work/painter.log" 2>&1 &
  painter_pid=$!
  pids+=($painter_pid)
  wait_shown 1
}

# stop_sway: the painter and sway, gone.
stop_sway() {
  kill -TERM "$painter_pid" "$sway_pid" 2>/dev/null || true
  wait "$painter_pid" "$sway_pid" 2>/dev/null || true
}

# wait_shown N: until the painter's N-th picture is on the screen.
wait_shown() {
  local _
  for _ in $(seq 200); do grep -qx "shown $1" "$work/painter.log" && return 0; sleep 0.05; done
  fail "the painter's picture $1 was not shown"
}
