#!/usr/bin/env perl
# Reads a driver package's INF file the way the installer walks it: the
# first line of [Manufacturer] names, in field 1, the models section; each
# line of that section carries a hardware ID in field 2. The end-to-end tests
# derive their expectations from the package with it, and make driver-store
# INFs that share (or do not share) a package INF's first hardware ID.
#
# Usage:
#   inf_models.pl models INF           one line per models line: field 2,
#                                      or "!skip" when the line has none;
#                                      "!no-manufacturer", "!no-field" or
#                                      "!no-models NAME" when the walk fails
#   inf_models.pl first-id INF         field 2 of the first models line
#                                      (exit 1 when there is none)
#   inf_models.pl recase-first INF OUT copy of INF whose first hardware ID is
#                                      written in lower case wherever it occurs
#   inf_models.pl push-down INF OUT ID copy of INF with a first models line for
#                                      ID inserted before the existing ones
use strict;
use warnings;

sub read_text {
    my ($path) = @_;
    open(my $fh, '<:raw', $path) or die "cannot read $path: $!\n";
    local $/;
    my $data = <$fh>;
    close $fh;
    if ($data =~ /^\xFF\xFE/) {
        require Encode;
        $data = Encode::decode('UTF-16LE', substr($data, 2));
    }
    return $data;
}

sub write_text {
    my ($path, $text) = @_;
    open(my $fh, '>:raw', $path) or die "cannot write $path: $!\n";
    print $fh $text;
    close $fh;
}

# Splits a line's value part into fields: commas outside quotes separate,
# quotes are removed, blanks around a field are dropped.
sub split_fields {
    my ($value) = @_;
    my @fields;
    my $current = '';
    my $quoted = 0;
    for my $c (split //, $value) {
        if ($c eq '"') {
            $quoted = !$quoted;
        } elsif ($c eq ',' && !$quoted) {
            push @fields, $current;
            $current = '';
        } else {
            $current .= $c;
        }
    }
    push @fields, $current;
    s/^\s+|\s+$//g for @fields;
    return @fields;
}

# Removes a comment (";" outside quotes).
sub strip_comment {
    my ($line) = @_;
    my $quoted = 0;
    for my $i (0 .. length($line) - 1) {
        my $c = substr($line, $i, 1);
        $quoted = !$quoted if $c eq '"';
        return substr($line, 0, $i) if $c eq ';' && !$quoted;
    }
    return $line;
}

# Parses the INF into sections: lower-cased name -> list of lines, each a
# list of fields (field 0 is the key, empty when the line has none).
sub parse_inf {
    my ($text) = @_;
    my %sections;
    my $section;
    my $pending = '';
    for my $raw (split /\r?\n/, $text) {
        my $line = strip_comment($raw);
        $line =~ s/\s+$//;
        if ($line =~ /\\$/) {
            $pending .= substr($line, 0, -1);
            next;
        }
        $line = $pending . $line;
        $pending = '';
        next if $line =~ /^\s*$/;
        if ($line =~ /^\s*\[([^\]]*)\]/) {
            $section = lc $1;
            $sections{$section} ||= [];
            next;
        }
        next unless defined $section;
        my ($key, $value) = ('', $line);
        if ($line =~ /^([^=]*?)\s*=\s*(.*)$/) {
            ($key, $value) = ($1, $2);
            $key =~ s/^\s+//;
        }
        push @{$sections{$section}}, [$key, split_fields($value)];
    }
    return \%sections;
}

# Replaces %name% with its [Strings] entry, as the platform does when it
# hands out a field.
sub substitute {
    my ($sections, $field) = @_;
    my %strings;
    for my $line (@{$sections->{strings} || []}) {
        $strings{lc $line->[0]} = $line->[1];
    }
    $field =~ s/%([^%]+)%/exists $strings{lc $1} ? $strings{lc $1} : "%$1%"/ge;
    return $field;
}

# The walk: (status, models section name, list of field-2 values or undef).
sub walk {
    my ($sections) = @_;
    my $manufacturer = $sections->{manufacturer};
    return ('!no-manufacturer') unless $manufacturer && @$manufacturer;
    my $first = $manufacturer->[0];
    return ('!no-field') unless @$first > 1;
    my $name = substitute($sections, $first->[1]);
    my $models = $sections->{lc $name};
    return ("!no-models $name") unless $models && @$models;
    my @ids = map { @$_ > 2 ? substitute($sections, $_->[2]) : undef } @$models;
    return ('', $name, \@ids);
}

my $mode = shift @ARGV or die "usage: inf_models.pl MODE INF ...\n";
my $inf = shift @ARGV or die "usage: inf_models.pl MODE INF ...\n";
my $text = read_text($inf);
my ($status, $name, $ids) = walk(parse_inf($text));

if ($mode eq 'models') {
    if ($status ne '') {
        print "$status\n";
    } else {
        print defined $_ ? "$_\n" : "!skip\n" for @$ids;
    }
} elsif ($mode eq 'first-id') {
    exit 1 if $status ne '' || !defined $ids->[0] || $ids->[0] eq '';
    print "$ids->[0]\n";
} elsif ($mode eq 'recase-first') {
    my $out = shift @ARGV or die "recase-first needs OUT\n";
    die "$inf has no first hardware ID\n" if $status ne '' || !defined $ids->[0] || $ids->[0] eq '';
    my $id = $ids->[0];
    my $lower = lc $id;
    die "the first hardware ID of $inf has no upper-case letter\n" if $lower eq $id;
    $text =~ s/\Q$id\E/$lower/g;
    write_text($out, $text);
} elsif ($mode eq 'push-down') {
    my $out = shift @ARGV or die "push-down needs OUT\n";
    my $id = shift @ARGV or die "push-down needs ID\n";
    die "$inf has no models section\n" if $status ne '';
    # Insert right after the header of the models section (every section
    # of that name, in case it is repeated).
    my $done = $text =~ s/^(\s*\[\Q$name\E\][^\r\n]*\r?\n)/$1Foreign.Device = Foreign.Install, $id\r\n/gmi;
    die "cannot find [$name] in $inf\n" unless $done;
    write_text($out, $text);
} else {
    die "unknown mode $mode\n";
}
