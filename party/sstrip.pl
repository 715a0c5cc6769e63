#!/usr/bin/perl
# Cuts an ELF executable down to what the loader maps: the section headers and everything after
# the last loaded byte go. Usage: sstrip.pl IN OUT
use strict;
use warnings;
my ($in, $out) = @ARGV;
open my $f, '<:raw', $in or die "sstrip.pl: cannot read $in: $!\n";
local $/;
my $elf = <$f>;
close $f;
die "sstrip.pl: $in is not a 64-bit ELF file\n" unless substr($elf, 0, 5) eq "\x7fELF\x02";
my ($phoff, $phentsize, $phnum) = (unpack('Q<', substr($elf, 32, 8)), unpack('v', substr($elf, 54, 2)),
                                   unpack('v', substr($elf, 56, 2)));
my $end = $phoff + $phentsize * $phnum;
for my $i (0 .. $phnum - 1) {
  my ($type, $flags, $offset, $vaddr, $paddr, $filesz) = unpack('V V Q< Q< Q< Q<',
                                                                substr($elf, $phoff + $i * $phentsize, 40));
  $end = $offset + $filesz if $offset + $filesz > $end;
}
$elf = substr($elf, 0, $end);
substr($elf, 40, 8) = pack('Q<', 0);    # e_shoff
substr($elf, 58, 6) = pack('v v v', 0, 0, 0);  # e_shentsize, e_shnum, e_shstrndx
open my $o, '>:raw', $out or die "sstrip.pl: cannot write $out: $!\n";
print $o $elf;
close $o or die "sstrip.pl: cannot write $out: $!\n";
