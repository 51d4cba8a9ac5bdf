#!/usr/bin/env perl
# Writes SECONDS of 16 kHz speech as headerless little-endian 32-bit floats on
# the 16-bit scale: the given 16-bit PCM WAV files (44-byte header) one after
# the other, repeated as often as needed.
# Usage: pitch_speech_floats.pl SECONDS file.wav... > out.f32
use strict;
use warnings;

my $seconds = shift @ARGV or die "usage: $0 SECONDS file.wav...\n";
my @speech;
for my $file (@ARGV) {
  open(my $fh, '<:raw', $file) or die "$file: $!\n";
  local $/;
  my $data = <$fh>;
  push @speech, unpack('s<*', substr($data, 44));
}
die "no samples\n" unless @speech;
my $chunk = pack('f<*', @speech);
my $wanted = $seconds * 16000;
binmode STDOUT;
while ($wanted > 0) {
  my $n = $wanted < @speech ? $wanted : scalar @speech;
  print substr($chunk, 0, 4 * $n);
  $wanted -= $n;
}
