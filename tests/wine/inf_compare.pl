#!/usr/bin/env perl
# The INFs that hold hallimor-check's INF reader against SetupAPI, one
# reading rule each, and the comparison of the two readings.
#
#   inf_compare.pl write DIR
#       writes the INFs into DIR (CR LF line ends; UTF-16 and UTF-8 where a
#       rule is about the encoding)
#   inf_compare.pl compare SETUPAPI_JSON CHECKER_JSON
#       every fact that setupinf.exe (SetupAPI under Wine) prints must be
#       the one "hallimor-check inf --json" prints, file by file (the rules'
#       INFs and any other both read); exit 0 when they agree
#
# Where Wine is known to read otherwise than Windows' documentation
# describes, the documentation decides, and where Wine reads a case two ways
# docs/package-checks.md does: the rule gives the value that the checker
# must print and says why Wine prints another. Wine's
# Windows folder is C:\windows, Windows' own C:\Windows: a value that starts
# with the one is read as starting with the other.
use strict;
use warnings;
use Encode qw(encode);
use JSON::PP;

my $base = <<'INF';
[Version]
Signature="$Windows NT$"
Provider=%KWE%
CatalogFile=kwe.cat
DriverVer=11/20/2009,2.3.0.6
[Manufacturer]
%KWE%=KWE,NTamd64
[KWE]
%Dev%=Install,USB\Vid_3E1F&Pid_A101&MI_04
%Dev%=Install,USB\Vid_3E1F&Pid_A102&MI_04
[Strings]
KWE="KWE Corporation"
Dev="KWE Device"
INF

my $wine_strings = 'Wine ignores localized strings sections';
# name, the rule, the edit of the base text, its encoding, documented facts
my @rules = (
    ['plain', 'an ANSI INF as most packages ship it', sub { }],
    ['catalog_nt', 'only CatalogFile.NT names the catalog', sub { s/CatalogFile=/CatalogFile.NT=/ }],
    ['catalog_order', 'x64 takes CatalogFile.NTamd64, then .NT, then the undecorated key',
        sub { s/(CatalogFile=kwe.cat\n)/$1CatalogFile.NT=nt.cat\nCatalogFile.NTamd64=amd64.cat\n/ }],
    ['strings_exact', 'a US English system reads [Strings.0409] only',
        sub { $_ .= "[Strings.0009]\nKWE=\"English\"\n[Strings.0409]\nKWE=\"US English\"\n" },
        'latin1', {provider => ['US English', $wine_strings]}],
    ['strings_neutral', 'else the primary language with the neutral sublanguage',
        sub { $_ .= "[Strings.0809]\nKWE=\"British\"\n[Strings.0009]\nKWE=\"English\"\n" },
        'latin1', {provider => ['English', $wine_strings]}],
    ['strings_family', 'else any section of the primary language',
        sub { $_ .= "[Strings.0809]\nKWE=\"British\"\n" }, 'latin1', {provider => ['British', $wine_strings]}],
    ['strings_not_merged', 'the chosen section is never merged with [Strings]',
        sub { $_ .= "[Strings.0409]\nDev=\"Device\"\n" }, 'latin1', {provider => ['%KWE%', $wine_strings]}],
    ['utf16_bom', 'UTF-16 text reaches the ANSI calls in code page 1252',
        sub { s/"KWE Corporation"/"KWE\x{2122} Corporation \x{4E2D}"/ }, 'UTF-16LE-BOM'],
    ['utf16_no_bom', 'UTF-16 without a byte-order mark', sub { s/"KWE Corporation"/"KWE\x{2122}"/ }, 'UTF-16LE'],
    ['utf8_bom', 'UTF-8 with a byte-order mark', sub { s/"KWE Corporation"/"KWE\x{2122} \x{E9}"/ }, 'UTF-8-BOM'],
    ['nul_byte', 'a NUL byte in an ANSI INF', sub { s/"KWE Corporation"/"KWE\0Corporation"/ }, 'latin1',
        {readable => ['false', 'Wine reads this NUL as a blank and refuses the file for a NUL elsewhere']}],
    ['string_twice', 'of a key defined twice the first definition counts',
        sub { s/(KWE="KWE Corporation"\n)/$1KWE="Other Corp"\n/ }],
    ['comma_in_string', 'an unquoted comma ends a string value', sub { s/"KWE Corporation"/KWE Corporation, Tokyo/ }],
    ['trailing_blanks', 'form feeds and non-breaking spaces after a value are blanks',
        sub { s/kwe.cat/kwe.cat\f\f/; s/"KWE Corporation"/KWE Corporation\xA0\xA0/ }],
    ['signature_key', 'Signature=%key% is no signature', sub { s/"\$Windows NT\$"/%Sig%/; $_ .= "Sig=\"\$Windows NT\$\"\n" }],
    ['dirid_field', '%12% in a field is the drivers folder', sub { s/=kwe.cat/=%12%\\kwe.cat/ }],
    ['empty_models', 'a models section with a header and no line', sub { s/(\[KWE\]\n)%Dev%[^\n]*\n%Dev%[^\n]*\n/$1/ }],
    ['driverver_hyphen', 'a DriverVer date with hyphens', sub { s{11/20/2009}{11-20-2009} }],
    ['long_field', 'a field of 600 characters (INF strings hold 4095)', sub { s/=kwe.cat/'=' . ('k' x 596) . '.cat'/e },
        'latin1', {catalog => [('k' x 596) . '.cat', 'Wine cuts fields at 511 characters']}],
);

sub write_set {
    my ($dir) = @_;
    for my $rule (@rules) {
        my ($name, $text, $edit, $encoding) = @$rule;
        local $_ = "; $text\n$base";
        $edit->();
        s/\n/\r\n/g;
        my $bytes = ($encoding // 'latin1') eq 'latin1' ? encode('latin1', $_)
            : $encoding eq 'UTF-16LE-BOM' ? "\xFF\xFE" . encode('UTF-16LE', $_)
            : $encoding eq 'UTF-8-BOM' ? "\xEF\xBB\xBF" . encode('UTF-8', $_)
            : encode($encoding, $_);
        open(my $fh, '>:raw', "$dir/$name.inf") or die "cannot write $dir/$name.inf: $!\n";
        print $fh $bytes;
        close $fh;
    }
}

sub read_json {
    my ($path) = @_;
    open(my $fh, '<:raw', $path) or die "cannot read $path: $!\n";
    local $/;
    my $text = <$fh>;
    my $data = eval { JSON::PP->new->decode($text) };
    die "$path is no JSON: $@\n" unless defined $data;
    return ref $data eq 'ARRAY' ? $data : [$data];
}

sub shown {
    my ($value) = @_;
    return 'null' unless defined $value;
    (my $text = $value) =~ s/([^\x20-\x7E])/sprintf('\\x%02X', ord $1)/ge;
    $text =~ s/^(.{40}).{4,}(.{8})$/$1...$2/;
    return "[$text]";
}

sub compare {
    my ($setupapi_path, $checker_path) = @_;
    my %documented = map { ("$_->[0].inf" => $_->[4] // {}) } @rules;
    my %checker = map { $_->{file} => $_ } @{read_json($checker_path)};
    my %wine = map { $_->{file} => $_ } @{read_json($setupapi_path)};
    my $failures = 0;
    my @files = map { "$_->[0].inf" } @rules;
    push @files, grep { !exists $documented{$_} } sort keys %wine;
    for my $file (@files) {
        my ($theirs, $ours) = ($wine{$file}, $checker{$file});
        unless ($theirs && $ours) {
            print "FAIL $file: ", ($theirs ? 'the checker' : 'SetupAPI'), " printed nothing for it\n";
            ++$failures;
            next;
        }
        my @facts = ('readable');
        push @facts, qw(provider catalog driverVer installer.modelsSection installer.lines installer.firstHardwareId)
            if $theirs->{readable} && !$documented{$file}{readable};
        my ($before, @notes) = ($failures);
        for my $fact (@facts) {
            my ($outer, $inner) = split /\./, $fact;
            my ($want, $got) = map { defined $inner ? ($_->{$outer} // {})->{$inner} : $_->{$outer} } ($theirs, $ours);
            ($want, $got) = map { JSON::PP::is_bool($_) ? ($_ ? 'true' : 'false') : $_ } ($want, $got);
            $want =~ s/^C:\\windows(?=\\|$)/C:\\Windows/ if defined $want;
            if (my $doc = $documented{$file}{$fact}) {
                push @notes, "$fact " . shown($doc->[0]) . ', where Wine reads ' . shown($want) . " ($doc->[1])";
                $want = $doc->[0];
            }
            next if (defined $want ? $want : "\0null") eq (defined $got ? $got : "\0null");
            print "FAIL $file: $fact is ", shown($got), ", SetupAPI reads ", shown($want), "\n";
            ++$failures;
        }
        print "ok   $file", (@notes ? ': ' . join('; ', @notes) : ''), "\n" if $failures == $before;
    }
    return $failures ? 1 : 0;
}

my $mode = shift // '';
if ($mode eq 'write' && @ARGV == 1) {
    write_set($ARGV[0]);
} elsif ($mode eq 'compare' && @ARGV == 2) {
    exit compare(@ARGV);
} else {
    die "usage: inf_compare.pl write DIR | compare SETUPAPI_JSON CHECKER_JSON\n";
}
