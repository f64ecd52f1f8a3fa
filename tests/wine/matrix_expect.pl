#!/usr/bin/perl
# Checks a dump of one matrix cell against the expectations that apply to its
# Windows version and operation (tests/wine/matrix/expect.txt).
#
# Usage: matrix_expect.pl EXPECT_FILE VERSION CELL DUMP
# Expectation lines: VERSIONS CELLS CHECK TEXT, separated by single blanks,
# where VERSIONS and CELLS are Perl regular expressions without blanks that
# must match the whole version and cell name, CHECK is one of the following
# and TEXT is the rest of the line:
#   +   the dump has the line TEXT
#   -   the dump does not have the line TEXT
#   ~   some line of the dump matches the regular expression TEXT
#   !   no line of the dump matches the regular expression TEXT
#   <   the records TEXT (separated by " >> ") stand in this order
# Prints every unmet expectation; exits 1 when there is one.
use strict;
use warnings;

my ($expect, $version, $cell, $dump) = @ARGV;
die "usage: matrix_expect.pl EXPECT_FILE VERSION CELL DUMP\n" unless defined $dump;
open(my $d, '<', $dump) or die "cannot read $dump\n";
chomp(my @lines = <$d>);
close($d);
my %has = map { $_ => 1 } @lines;
my @records = map { substr($_, 7) } grep { /^record / } @lines;

open(my $e, '<', $expect) or die "cannot read $expect\n";
my ($checked, $failed) = (0, 0);
while (my $line = <$e>) {
    chomp $line;
    next if $line =~ /^\s*(#|$)/;
    my ($versions, $cells, $check, $text) = split / /, $line, 4;
    die "$expect:$.: bad line\n" unless defined $text;
    next unless $version =~ /^(?:$versions)$/ && $cell =~ /^(?:$cells)$/;
    $checked++;
    my $ok;
    if ($check eq '+') {
        $ok = $has{$text};
    } elsif ($check eq '-') {
        $ok = !$has{$text};
    } elsif ($check eq '~') {
        $ok = grep { /$text/ } @lines;
    } elsif ($check eq '!') {
        $ok = !grep { /$text/ } @lines;
    } elsif ($check eq '<') {
        my @want = split / >> /, $text;
        my $i = 0;
        for my $r (@records) { $i++ if $i < @want && $r eq $want[$i]; }
        $ok = $i == @want;
        $text .= "  (missing from: $want[$i])" unless $ok;
    } else {
        die "$expect:$.: unknown check $check\n";
    }
    unless ($ok) {
        print "expectation of line $. not met: $check $text\n";
        $failed++;
    }
}
close($e);
die "no expectation applies to $version/$cell\n" if $checked == 0;
exit($failed ? 1 : 0);
