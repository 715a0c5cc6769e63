#!/usr/bin/perl
# Writes the intro's size report: the packed size against the budget, and what takes the bytes
# of the unpacked program, from the linker's map. Usage: size_report.pl INTRO_DIR INTRO BUDGET
use strict;
use warnings;

my ($dir, $intro, $budget) = @ARGV;
my %dynamic = map { $_ => 1 } qw(.interp .gnu.hash .hash .dynsym .dynstr .gnu.version
  .gnu.version_r .gnu.version_d .rela.dyn .rela.plt .dynamic .got .got.plt .plt .plt.got .init .fini);
my %file_sections = map { $_ => 1 } qw(.text .rodata .data .init_array .fini_array);

sub part_of {
  my ($object) = @_;
  # The link-time optimizer compiles the program as one: its parts are no longer told apart.
  return 'program' if $object =~ m{ltrans};
  return 'song' if $object =~ m{embedded_song};
  return "$1" if $object =~ m{src/(music|visuals|shell|shared)/};
  return 'runtime' if $object =~ m{party_runtime};
  return 'start-up';
}

open my $map, '<', "$dir/kelvorinsaa-intro.map" or die "size_report.pl: no map in $dir: $!\n";
my $text = do { local $/; <$map> };
close $map;
$text =~ s/.*?\nLinker script and memory map\n//s;

my (%code, %tables, $overhead);
my $output = '';
my @lines = split /\n/, $text;
for (my $i = 0; $i < @lines; ++$i) {
  my $line = $lines[$i];
  if ($line =~ /^(\.\S+)/) { $output = $1; next; }
  next unless $line =~ /^ (\.\S+)(.*)$/;
  my $rest = $2;
  $rest = $lines[++$i] if $rest !~ /\S/ && $i + 1 < @lines;
  next unless $rest =~ /^\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S+)/;
  my ($size, $object) = (hex $1, $2);
  next unless $size;
  # The import stubs, their names and the loader that resolves them are dynamic linking too.
  my $imports = $file_sections{$output} && $object =~ m{/imports\.cpp\.o$|/import_loader\.cpp\.o$};
  if ($dynamic{$output} || $imports) {
    $overhead += $size;
    next;
  }
  next unless $file_sections{$output};
  if ($output eq '.text') { $code{part_of($object)} += $size } else { $tables{part_of($object)} += $size }
}

my $unpacked = -s "$dir/unpacked.elf";
my $payload = -s "$dir/payload.gz";
my $packed = -s $intro;
my $dropper = $packed - $payload;
my ($sum) = (0);
$sum += $_ for values %code, values %tables;
my $headers_and_padding = $unpacked - $sum - $overhead;

my $verdict = $packed <= $budget ? 'within' : 'OVER';
printf "kelvorinsaa-intro: %d bytes, budget %d: %s (%+d)\n\n", $packed, $budget, $verdict, $packed - $budget;
printf "packed:   %6d  dropper (perl: memfd_create, gzip -d, exec)\n", $dropper;
printf "          %6d  gzip stream of the unpacked program (zopfli)\n\n", $payload;
printf "unpacked: %6d bytes, of which\n", $unpacked;
for my $part (qw(program music visuals shell shared song runtime start-up)) {
  next unless $code{$part} || $tables{$part};
  printf "          %6d  %-9s code %6d, tables and text %6d\n", ($code{$part} // 0) + ($tables{$part} // 0),
    $part, $code{$part} // 0, $tables{$part} // 0;
}
printf "          %6d  dynamic linking (symbols, names, versions, relocations, GOT, .dynamic, import stubs)\n", $overhead;
printf "          %6d  ELF and program headers, alignment gaps\n", $headers_and_padding;
