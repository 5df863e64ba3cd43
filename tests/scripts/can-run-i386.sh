#!/usr/bin/env bash
# scripts/can-run-i386 against binfmt_misc entries laid out in a folder as the kernel shows them:
# which entries catch its probe, and its verdicts with an emulator entry left registered.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/lib/i386.sh"
real_qemu=$i386_qemu
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "can-run-i386.sh: FAIL: $*" >&2; status=1; }
status=0

export VL_BINFMT_DIR=$dir/binfmt VL_I386_CACHE=$dir/cache
binfmt_dir=$VL_BINFMT_DIR
mkdir -p "$binfmt_dir" "$VL_I386_CACHE"
i386_write_probe "$dir/p"
# A usual i386 program, in the bits the entries' masks leave out too: padding 0, the GNU OS ABI,
# position-independent.
cp "$dir/p" "$dir/p0"
printf '\3' | dd of="$dir/p0" bs=1 seek=7 conv=notrunc 2>/dev/null
printf '\0' | dd of="$dir/p0" bs=1 seek=15 conv=notrunc 2>/dev/null
printf '\3' | dd of="$dir/p0" bs=1 seek=16 conv=notrunc 2>/dev/null

i386_hex=7f454c4601010100000000000000000002000300
i386_mask_hex=fffffffffffefe00fffffffffffffffffeffffff
# entry NAME STATE MAGIC [MASK]
entry() {
  { echo "$2"; echo "interpreter /usr/bin/emulator"; echo "flags: OPF"; echo "offset 0"; echo "magic $3"
    [ -n "${4:-}" ] && echo "mask $4"; } > "$binfmt_dir/$1"
}

# Entries present | catches the probe | catches a usual i386 program
while IFS='|' read -r setup probe usual; do
  rm -f "$binfmt_dir"/*
  echo enabled > "$binfmt_dir/status"
  eval "$setup"
  for which in probe usual; do
    file=$dir/p; [ $which = usual ] && file=$dir/p0
    want=${!which// /}
    got=no; binfmt_catches "$file" && got=yes
    [ "$got" = "$want" ] || fail "[$setup] catches the $which: $got, not $want"
  done
done <<'CASES'
true                                                             | no  | no
entry qemu-i386 enabled $i386_hex $i386_mask_hex                 | no  | yes
entry qemu-i386 disabled $i386_hex $i386_mask_hex                | no  | no
entry elf enabled 7f454c46                                       | yes | yes
entry elf enabled 7f454c46; echo disabled > $binfmt_dir/status   | no  | no
entry x86-64 enabled 7f454c4602010100000000000000000002003e00    | no  | no
CASES

# The verdicts, with the usual emulator entry left registered.
entry qemu-i386 enabled "$i386_hex" "$i386_mask_hex"
native=0
"$dir/p" 2>/dev/null && native=1
verdict() {
  local v rc=0
  v=$("$root/scripts/can-run-i386") || rc=$?
  echo "$v $rc"
}
if [ $native = 1 ]; then
  [ "$(verdict)" = "natively 0" ] || fail "natively, with an entry left: $(verdict)"
fi
[ "$(VL_I386_NATIVE=0 verdict)" = "not at all 1" ] || fail "no emulator in the cache: $(VL_I386_NATIVE=0 verdict)"
# Through the emulator needs it in the cache, root, and binfmt_misc there to register it with.
if [ -x "$real_qemu" ] && [ "$(id -u)" = 0 ]; then
  cp "$real_qemu" "$VL_I386_CACHE/qemu-i386"
  touch "$binfmt_dir/register"
  [ "$(VL_I386_NATIVE=0 verdict)" = "through the emulator 2" ] || fail "with the emulator: $(VL_I386_NATIVE=0 verdict)"
  printf '#!/bin/sh\nexit 1\n' > "$VL_I386_CACHE/qemu-i386"  # one that cannot run the probe
  [ "$(VL_I386_NATIVE=0 verdict)" = "not at all 1" ] || fail "with a broken emulator: $(VL_I386_NATIVE=0 verdict)"
fi
exit $status
