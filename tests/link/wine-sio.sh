#!/usr/bin/env bash
# Runs the Windows serial-port tests under Wine against the native device simulator, linked as
# COM40 of the Wine prefix. Usage: wine-sio.sh LINUX_BUILD_DIR WINDOWS_BUILD_DIR TEST_EXE
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
linux_build=$1; win_build=$2; exe=$3
sim=$linux_build/tools/vantela-sim
port=40
if [ ! -x "$sim" ]; then
  echo "wine-sio: $sim is missing: build the linux preset first" >&2
  exit 1
fi
export WINEPREFIX=${WINEPREFIX:-$win_build/wineprefix}
# The prefix is made (once) before the link goes in, so that Wine's own port setup cannot
# replace it.
"$here/../../cmake/wine-run.sh" "$win_build" cmd /c exit >/dev/null 2>&1 || true
mkdir -p "$WINEPREFIX/dosdevices"
link="$WINEPREFIX/dosdevices/com$port"

ctl=$(mktemp -d)
cleanup() {
  [ -n "${watcher:-}" ] && kill "$watcher" 2>/dev/null
  if [ -n "${simpid:-}" ]; then kill -CONT "$simpid" 2>/dev/null; kill -TERM "$simpid" 2>/dev/null; wait "$simpid" 2>/dev/null; fi
  rm -rf "$ctl"
}
trap cleanup EXIT

"$sim" --link "$link" --speed 0 --away 2 --wire "$ctl/wire.bin" >"$ctl/sim.out" &
simpid=$!
for _ in $(seq 500); do [ -L "$link" ] && break; sleep 0.01; done
[ -L "$link" ] || { echo "wine-sio: the simulator did not link $link" >&2; exit 1; }

# The test asks for the device's side through marker files: unplug, stop reading, go on.
(
  while sleep 0.02; do
    for m in unplug stop cont; do
      [ -e "$ctl/$m" ] || continue
      case $m in unplug) kill -USR2 "$simpid" ;; stop) kill -STOP "$simpid" ;; cont) kill -CONT "$simpid" ;; esac
      rm -f "$ctl/$m"
    done
  done
) &
watcher=$!

winctl="Z:$(printf '%s' "$ctl" | tr '/' '\\')"
VL_SIM_PORT=$port VL_SIM_CONTROL=$winctl "$here/../../cmake/wine-run.sh" "$win_build" "$exe"
rc=$?
[ $rc -eq 77 ] && exit 77  # no Wine here: skipped

kill "$watcher" 2>/dev/null; watcher=
kill -CONT "$simpid" 2>/dev/null; kill -TERM "$simpid"; wait "$simpid"; simpid=
cat "$ctl/sim.out"
if [ ! -s "$ctl/expected.bin" ] || ! cmp -n "$(stat -c %s "$ctl/expected.bin")" "$ctl/expected.bin" "$ctl/wire.bin"; then
  echo "wine-sio: the simulator did not receive the blocks byte for byte" >&2
  rc=1
fi
exit $rc
