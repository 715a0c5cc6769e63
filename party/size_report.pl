#!/usr/bin/perl
# Writes the intro's size report: the packed size against the budget, and what takes the bytes
# of the unpacked program, from the linker's map and, for the code the link-time optimizer makes,
# from the source file of each symbol (the intro is built with debug lines, stripped when packed).
# Usage: size_report.pl INTRO_DIR INTRO BUDGET
use strict;
use warnings;

my ($dir, $intro, $budget) = @ARGV;
my %dynamic = map { $_ => 1 } qw(.interp .gnu.hash .hash .dynsym .dynstr .gnu.version
  .gnu.version_r .gnu.version_d .rela.dyn .rela.plt .dynamic .got .got.plt .plt .plt.got .init .fini);
my %file_sections = map { $_ => 1 } qw(.text .rodata .data .init_array .fini_array);

sub part_of {
  my ($object) = @_;
  # The link-time optimizer compiles the program as one: its parts are told apart by symbol.
  return 'program' if $object =~ m{ltrans};
  return 'song' if $object =~ m{embedded_song};
  return "$1" if $object =~ m{src/(music|visuals|shell|shared)/};
  return 'runtime' if $object =~ m{party_runtime};
  return 'start-up';
}

# The source file of each global symbol, from the optimizer's input objects: the tables, which
# carry no debug lines.
sub defining_files {
  my %file;
  my @objects = glob("$dir/../party/CMakeFiles/intro_objects.dir/*.o
                      $dir/../party/CMakeFiles/intro_objects.dir/__/*/*/*.o
                      $dir/../party/CMakeFiles/intro_objects.dir/__/*/*.o");
  for (@objects ? `gcc-nm -A --defined-only @objects 2>/dev/null` : ()) {
    $file{$2} = $1 if /^(\S+):[0-9a-f]+ [A-Za-z] (\S+)$/;
  }
  return %file;
}

# Moves the optimizer's bytes from 'program' to the part whose source file defines each symbol
# (code counts where it ends up after inlining); what no symbol covers (literals, alignment,
# local tables) stays under 'program'.
sub split_program {
  my ($code, $tables) = @_;
  my %file = defining_files();
  for (`nm -S -l --defined-only '$dir/linked.elf' 2>/dev/null`) {
    next unless /^[0-9a-f]+ ([0-9a-f]+) ([tTrRdDW]) (\S+)(?:\t(\S+):\d+)?$/;
    my ($size, $kind, $source) = (hex $1, $2, $4 // $file{$3});
    next unless defined $source && $source !~ m{import_loader};
    my $part = part_of($source);
    my $sums = $kind =~ /[tTW]/ ? $code : $tables;
    next unless ($sums->{program} // 0) >= $size;
    $sums->{program} -= $size;
    $sums->{$part} += $size;
  }
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

split_program(\%code, \%tables);

my $unpacked = -s "$dir/unpacked.elf";
my $packed = -s $intro;
# The stub's headers open its .text and end at headers_end; the payload fills the rest of the file.
my ($stub_text) = `size -A "$dir/unpack_stub.o"` =~ /^\.text\s+(\d+)/m;
my ($stub_headers) = `nm "$dir/unpack_stub.o"` =~ /^([0-9a-f]+) t headers_end$/m;
$stub_headers = hex $stub_headers;
my $stub_code = $stub_text - $stub_headers;
my $payload = $packed - $stub_text;
my ($sum) = (0);
$sum += $_ for values %code, values %tables;
my $headers_and_padding = $unpacked - $sum - $overhead;

my $verdict = $packed <= $budget ? sprintf('within, %d to spare', $budget - $packed)
                                   : sprintf('OVER by %d', $packed - $budget);
printf "kelvorinsaa-intro: %d bytes, budget %d: %s\n\n", $packed, $budget, $verdict;
printf "packed:   %6d  ELF and program header of the stub, overlapped (with its first\n" .
       "                  instructions and the model's masks in fields the kernel does not read)\n", $stub_headers;
printf "          %6d  stub code (context-mixing decoder, memfd_create, execveat)\n", $stub_code;
printf "          %6d  payload: the unpacked program, context-mixed\n\n", $payload;
printf "unpacked: %6d bytes, of which\n", $unpacked;
for my $part (qw(music visuals shell shared song runtime start-up program)) {
  next unless $code{$part} || $tables{$part};
  my $label = $part eq 'program' ? 'unnamed' : $part;  # literals and alignment of the whole
  printf "          %6d  %-9s code %6d, tables and text %6d\n", ($code{$part} // 0) + ($tables{$part} // 0),
    $label, $code{$part} // 0, $tables{$part} // 0;
}
printf "          %6d  dynamic linking (symbols, names, versions, relocations, GOT, .dynamic, import stubs)\n", $overhead;
printf "          %6d  ELF and program headers, alignment gaps\n", $headers_and_padding;
print "\n(code counts where the link-time optimizer left it: the shell's main holds what it\n" .
      " inlined; 'unnamed' is literals, local tables and alignment)\n";
