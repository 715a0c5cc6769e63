#!/usr/bin/env bash
# Packs the intro: strips the linked program to what the loader maps, squeezes it with the
# build's context-mixing packer and puts the hand-written stub, headers and all, in front, which
# unpacks it into memory and runs it under the intro's own name.
# Usage: pack.sh LINKED_ELF WORK_DIR SQUEEZE OUT
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
elf=$1 work=$2 squeeze=$3 out=$4
objcopy --strip-all -R .comment -R .note.gnu.property -R .note.ABI-tag "$elf" "$work/stripped.elf"
perl "$here/sstrip.pl" "$work/stripped.elf" "$work/unpacked.elf"
"$squeeze" "$work/unpacked.elf" "$work/payload.cm"
"$squeeze" --constants "$work/pack_constants.inc"
size=$(od -An -tu4 -N4 "$work/payload.cm" | tr -d ' ')  # the payload starts with the size
as -I "$work" --defsym program_size="$size" -o "$work/unpack_stub.o" "$here/unpack_stub.S"
as -I "$work" -o "$work/payload.o" "$here/payload.S"
ld -T "$here/stub.ld" -o "$out.part" "$work/unpack_stub.o" "$work/payload.o"
chmod 755 "$out.part"
mv "$out.part" "$out"
