#!/usr/bin/env bash
# Runs the Windows serial-port tests under Wine against the native device simulator, linked as
# COM40 of the Wine prefix. Usage: wine-sio.sh LINUX_BUILD_DIR WINDOWS_BUILD_DIR TEST_EXE
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$1; win_build=$2; exe=$3
port=40
if [ ! -x "$build/tools/vantela-sim" ]; then
  echo "wine-sio: $build/tools/vantela-sim is missing: build the linux preset first" >&2
  exit 1
fi
. "$here/../../scripts/lib/harness.sh"
export WINEPREFIX=${WINEPREFIX:-$win_build/wineprefix}
# The prefix is made (once) before the link goes in, so that Wine's own port setup cannot
# replace it.
"$root/cmake/wine-run.sh" "$win_build" cmd /c exit >/dev/null 2>&1 || true
mkdir -p "$WINEPREFIX/dosdevices"
link="$WINEPREFIX/dosdevices/com$port"
dirs+=("$link")
start_sim sim "$link" --away 2 --wire "$work/wire.bin"

# The test asks for the device's side through marker files: unplug, stop reading, go on.
markers() {
  sleep 0.02
  local m
  for m in unplug stop cont; do
    [ -e "$work/$m" ] || continue
    case $m in unplug) kill -USR2 "$sim" ;; stop) kill -STOP "$sim" ;; cont) kill -CONT "$sim" ;; esac
    rm -f "$work/$m"
  done
}
repeat_while_here markers
watcher=$repeat_pid

winctl="Z:$(printf '%s' "$work" | tr '/' '\\')"
VL_SIM_PORT=$port VL_SIM_CONTROL=$winctl "${tie[@]}" "$root/cmake/wine-run.sh" "$win_build" "$exe"
rc=$?
[ $rc -eq 77 ] && exit 77  # no Wine here: skipped

kill "$watcher" 2>/dev/null
wait "$watcher" 2>/dev/null
kill -CONT "$sim" 2>/dev/null; kill -TERM "$sim"; wait "$sim"
cat "$work/sim-com$port.log"
if [ ! -s "$work/expected.bin" ] || ! cmp -n "$(stat -c %s "$work/expected.bin")" "$work/expected.bin" "$work/wire.bin"; then
  echo "wine-sio: the simulator did not receive the blocks byte for byte" >&2
  rc=1
fi
exit $rc
