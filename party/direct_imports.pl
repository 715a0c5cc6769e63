#!/usr/bin/perl
# Points the intro's calls straight at its import table: in the relocatable object IN, every
# GOT-relative reference to an imported function (what -fno-plt makes of each call) becomes a
# PC-relative reference to the symbol itself, which make_imports.pl defines as that function's
# slot of import_table, so `call *malloc@GOTPCREL(%rip)` turns into `call *malloc(%rip)`.
# Each OBJECT goes to OUT_DIR under its path below the object library's folder, and OUT_DIR/
# objects.rsp lists them for the linker. Usage: direct_imports.pl NAMES OUT_DIR OBJECT...
use strict;
use warnings;
use File::Basename qw(dirname);
use File::Path qw(make_path);

my ($names, $out_dir, @objects) = @ARGV;
open my $list, '<', $names or die "direct_imports.pl: cannot read $names: $!\n";
my %import = map { chomp; $_ => 1 } <$list>;
close $list;
my ($rewritten, @written) = (0);
for my $object (@objects) {
  (my $relative = $object) =~ s{.*?\.dir/}{};
  $relative =~ s{(?:^|/)__/}{/}g;
  $relative =~ s{^/}{};
  my $out = "$out_dir/$relative";
  make_path(dirname($out));
  $rewritten += rewrite($object, $out);
  push @written, $out;
}
die "direct_imports.pl: no call to an imported function\n" unless $rewritten;
open my $rsp, '>', "$out_dir/objects.rsp" or die "direct_imports.pl: cannot write $out_dir: $!\n";
print $rsp map { "$_\n" } @written;
close $rsp or die "direct_imports.pl: cannot write $out_dir: $!\n";

# Rewrites one object; returns how many references it changed.
sub rewrite {
my ($in, $out) = @_;
open my $f, '<:raw', $in or die "direct_imports.pl: cannot read $in: $!\n";
my $elf = do { local $/; <$f> };
close $f;
die "direct_imports.pl: $in is not a 64-bit relocatable ELF file\n"
  unless substr($elf, 0, 5) eq "\x7fELF\x02" && unpack('v', substr($elf, 16, 2)) == 1;

my ($shoff) = unpack('Q<', substr($elf, 40, 8));
my ($shentsize, $shnum) = unpack('v v', substr($elf, 58, 4));
my @sections = map {
  my ($name, $type, $flags, $addr, $offset, $size, $link, $info, $align, $entsize) =
    unpack('V V Q< Q< Q< Q< V V Q< Q<', substr($elf, $shoff + $_ * $shentsize, 64));
  { type => $type, flags => $flags, offset => $offset, size => $size, link => $link,
    info => $info }
} 0 .. $shnum - 1;

use constant { SHT_RELA => 4, SHF_ALLOC => 2, R_PC32 => 2, R_GOTPCREL => 9,
               R_GOTPCRELX => 41, R_REX_GOTPCRELX => 42 };
my %got_relative = map { $_ => 1 } (R_GOTPCREL, R_GOTPCRELX, R_REX_GOTPCRELX);
my $rewritten = 0;
for my $rela (grep { $_->{type} == SHT_RELA } @sections) {
  next unless $sections[$rela->{info}]{flags} & SHF_ALLOC;
  my $symtab = $sections[$rela->{link}];
  my $strtab = $sections[$symtab->{link}];
  for (my $at = $rela->{offset}; $at < $rela->{offset} + $rela->{size}; $at += 24) {
    my ($info) = unpack('Q<', substr($elf, $at + 8, 8));
    my ($type, $symbol) = ($info & 0xffffffff, $info >> 32);
    my $entry = $symtab->{offset} + 24 * $symbol;
    my ($name_at) = unpack('V', substr($elf, $entry, 4));
    my $name = unpack('Z*', substr($elf, $strtab->{offset} + $name_at, 256));
    next unless $import{$name};
    die "direct_imports.pl: $name is referenced other than through the GOT (type $type)\n"
      unless $got_relative{$type};
    substr($elf, $at + 8, 8) = pack('Q<', ($symbol << 32) | R_PC32);
    ++$rewritten;
  }
}
open my $o, '>:raw', "$out.part" or die "direct_imports.pl: cannot write $out: $!\n";
print $o $elf;
close $o or die "direct_imports.pl: cannot write $out: $!\n";
rename "$out.part", $out or die "direct_imports.pl: cannot write $out: $!\n";
return $rewritten;
}
