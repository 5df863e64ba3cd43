#!/usr/bin/env bash
# A device on another machine, as the README shows it: there, its terminal served on a socket;
# here, a pseudo-terminal linked as COM7 in the ports folder that carries the bytes to the
# socket. Both ends are socat over a Unix socket of the work folder; the device is vantela-sim.
# The program drives COM7 like a local port: the panel must be what vantela-preview makes of
# the screen.
set -euo pipefail
build=$(cd "$1" && pwd)
. "$(dirname "$0")/e2e-lib.sh"
e2e_require socat

start_xvfb
/usr/bin/python3 "$root/scripts/demo-picture.py" "$work/picture.png"
show_picture "$work/picture.png"
use_settings_folder
settings='MO.0.ACTIVE=1\nMO.0.PORT=7\nMO.0.DITHER=1\n'
printf "$settings" >"$ini"

# The other machine: the device and the server that hands its terminal to whoever connects.
mkdir -p "$work/remote" "$XDG_CONFIG_HOME/vantela/ports"
start_sim sim "$work/remote/device"
spawn server "$work/server.log" - socat UNIX-LISTEN:"$work/device.sock" FILE:"$work/remote/device",raw,echo=0
for _ in $(seq 100); do [ -S "$work/device.sock" ] && break; sleep 0.05; done
[ -S "$work/device.sock" ] || fail "the device's server did not listen"
# This machine: COM7 leads to it.
com7="$XDG_CONFIG_HOME/vantela/ports/com7"
spawn client "$work/client.log" - socat PTY,link="$com7",raw,echo=0 UNIX-CONNECT:"$work/device.sock"
for _ in $(seq 100); do [ -L "$com7" ] && break; sleep 0.05; done
[ -L "$com7" ] || fail "the network port was not linked as COM7"

start_program exe vantelink
find_window win "$exe"
sleep 4.6  # the window's 4-second timer resends the whole area
compare_panel "$sim" device network "$settings"
end_program "$exe" program
echo "PASS: a device behind a socket, linked as COM7, shows what the preview makes of the screen"
