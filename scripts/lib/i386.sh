# What scripts/can-run-i386, scripts/deps and scripts/with-i386-emulator share about running
# 32-bit x86 programs where the kernel refuses them: the emulator's cache folder, its
# binfmt_misc entry and a probe program. Sourced.

i386_cache=${VL_I386_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vantelink/i386}
i386_qemu=$i386_cache/qemu-i386
binfmt_dir=${VL_BINFMT_DIR:-/proc/sys/fs/binfmt_misc}  # another folder only in the tests
i386_entry=qemu-i386
# An i386 ELF executable's header, and which of its bits matter (as the emulator's own
# registration script writes them); the kernel reads the \x escapes itself.
i386_magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
i386_mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

# i386_write_probe FILE: a static i386 program that exits 0 at once (exit through int 0x80).
# The last padding byte of its identification is 1: the kernel's loader ignores it, but the
# usual emulator entries require 0 there, so run directly it proves the kernel runs it natively
# even where such an entry was left registered.
i386_write_probe() {
  local h=(
    7f 45 4c 46 01 01 01 00 00 00 00 00 00 00 00 01  # identification
    02 00 03 00 01 00 00 00 54 80 04 08              # executable, i386, version 1, entry
    34 00 00 00 00 00 00 00 00 00 00 00              # program headers at 52, no sections
    34 00 20 00 01 00 00 00 00 00 00 00              # header sizes, one program header
    01 00 00 00 00 00 00 00 00 80 04 08 00 80 04 08  # loadable: the whole file at 0x08048000
    5d 00 00 00 5d 00 00 00 05 00 00 00 00 10 00 00  # 93 bytes, readable and executable
    b8 01 00 00 00 31 db cd 80                       # eax = exit, ebx = 0, int 0x80
  )
  printf "$(printf '\\x%s' "${h[@]}")" > "$1" && chmod +x "$1"
}

# binfmt_catches FILE: true when an enabled binfmt_misc entry would hand FILE to an interpreter
# (only entries by magic number can match an ELF program).
binfmt_catches() {
  [ "$(cat "$binfmt_dir/status" 2>/dev/null)" = enabled ] || return 1
  local head entry offset magic mask i d m k
  head=$(od -An -v -tx1 -N 128 "$1" | tr -d ' \n')
  for entry in "$binfmt_dir"/*; do
    case ${entry##*/} in register | status) continue ;; esac
    [ "$(head -n 1 "$entry" 2>/dev/null)" = enabled ] || continue
    offset=$(sed -n 's/^offset //p' "$entry")
    magic=$(sed -n 's/^magic //p' "$entry")
    mask=$(sed -n 's/^mask //p' "$entry")
    [ -n "$magic" ] || continue
    [ -n "$mask" ] || mask=$(printf 'f%.0s' $(seq ${#magic}))
    k=0
    for ((i = 0; i < ${#magic}; i += 2)); do
      d=${head:$((2 * ${offset:-0} + i)):2}
      m=0x${mask:i:2}
      if [ -z "$d" ] || (((0x$d & m) != (0x${magic:i:2} & m))); then k=1; break; fi
    done
    [ $k = 0 ] && return 0
  done
  return 1
}
