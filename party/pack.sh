#!/usr/bin/env bash
# Packs the intro: strips the linked program to what the loader maps, deflates it as hard as
# zopfli can and puts the dropper in front, which unpacks it into memory and runs it under the
# intro's own name. Usage: pack.sh LINKED_ELF WORK_DIR OUT
set -euo pipefail
here=$(dirname "$0")
elf=$1 work=$2 out=$3
objcopy --strip-all -R .comment -R .note.gnu.property -R .note.ABI-tag "$elf" "$work/stripped.elf"
perl "$here/sstrip.pl" "$work/stripped.elf" "$work/unpacked.elf"
zopfli --gzip --i1000 -c "$work/unpacked.elf" >"$work/payload.gz"
cat "$here/dropper.pl" "$work/payload.gz" >"$out.part"
chmod 755 "$out.part"
mv "$out.part" "$out"
