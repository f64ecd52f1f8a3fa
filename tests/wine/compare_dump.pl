#!/usr/bin/perl
# The canonical dump of a run of Hallimor_x64.exe in a Wine prefix, in the
# format of tests/compare (hallimor_scenario): the exit code, the install
# log's records and the vendor's files, driver store and registry values.
# The prefix's wineserver must have ended, so that system.reg is current.
#
# Usage: compare_dump.pl PREFIX EXIT_CODE PACKAGE_FOLDER
#   PACKAGE_FOLDER  host path of the OS folder of the package the run used
#                   (its INFs tell stored copies apart), or "-"
use strict;
use warnings;

my ($prefix, $exit, $package) = @ARGV;
die "usage: compare_dump.pl PREFIX EXIT_CODE PACKAGE_FOLDER\n" unless defined $package;

# Wine's texts for the system error codes that runs meet; a failure record
# shows "[error N]" in their place, as the simulated machine's dump does.
my %wine_texts = (
    "File not found.\n"            => 2,
    "Path not found.\n"            => 3,
    "Access denied.\n"             => 5,
    "Invalid handle.\n"            => 6,
    "No more files.\n"             => 18,
    "Service does not exist.\n"    => 1060,
    "Service not active.\n"        => 1062,
    "Service marked for delete.\n" => 1072,
    "Service already exists.\n"    => 1073,
);

my @services = qw(KWEUSBNET KWEUSBSER6K KWEUSBNMEA KWEUSBMDM6K KWEUSBNMEAEXT KWEUSBDVBH KWEUSBVOICE USBKWECCID
    ZEFOUSBNET ZEFOUSBMDM6K ZEFOUSBSER6K ZEFOUSBNMEA ZEFODVBH KWETDMODEM KWETDNMEA KWETDDIAG KWETDSOUND
    KWEGSMDATACARD KWEGSMMODEM KWEGSMSOUND GORVEL VSS);
my %service = map { $_ => 1 } @services;
my @service_values = qw(Type Start ErrorControl DisplayName ImagePath gorvel QCDriverPowerManagementEnabled
    QCDriverSelectiveSuspendIdleTime);
my @device_values = qw(HardwareID LowerFilters FriendlyName ConfigFlags);
my @record_keys = ('SOFTWARE\\KWEUSBDRIVERFLAG', 'SOFTWARE\\WOW6432NODE\\KWEUSBDRIVERFLAG',
    'SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\UNINSTALL\\KWE USB DRIVER');
my %record_key = map { $_ => 1 } @record_keys;
my $services_key = 'SYSTEM\\CURRENTCONTROLSET\\SERVICES\\';
my $usb_key = 'SYSTEM\\CURRENTCONTROLSET\\ENUM\\USB\\';

sub find_ci {
    my ($folder, $name) = @_;
    opendir(my $d, $folder) or return undef;
    my @hit = grep { lc($_) eq lc($name) } readdir($d);
    closedir($d);
    return @hit ? "$folder/$hit[0]" : undef;
}

sub host_path {
    my $path = "$prefix/drive_c";
    for my $part (@_) {
        $path = find_ci($path, $part) // return undef;
    }
    return $path;
}

sub read_file {
    my ($path) = @_;
    open(my $f, '<:raw', $path) or return undef;
    local $/;
    my $data = <$f>;
    close($f);
    return $data;
}

# ---------------------------------------------------------------- the log
my @lines = ("exit $exit");
my $log_path = host_path('windows', 'temp', 'HandsetInstallInfo.log');
if (defined $log_path) {
    my $text = read_file($log_path);
    $text =~ s/\r//g;
    my @parts = split m{\(\d+/\d+/\d+ \d+:\d+:\d+\) }, $text, -1;
    shift @parts;
    for my $m (@parts) {
        if ($m =~ /^(.*? FAILURE: )(.*)$/s && exists $wine_texts{$2}) {
            $m = "$1\[error $wine_texts{$2}\]";
        }
        $m =~ s/\n/\\n/g;
        push @lines, "record $m";
    }
}

# ---------------------------------------------------------------- files
my @state;
my $drivers = host_path('windows', 'system32', 'drivers');
if (defined $drivers && opendir(my $d, $drivers)) {
    for my $name (readdir($d)) {
        push @state, 'file DRIVERS\\' . uc($name) if -f "$drivers/$name" && uc($name) =~ /^(KWE|ZEFO|GORVEL)/;
    }
    closedir($d);
}
push @state, 'file SYSTEM32\\BROMMET.DLL' if defined host_path('windows', 'system32', 'brommet.dll');

my %package_inf;
if ($package ne '-' && opendir(my $d, $package)) {
    for my $name (readdir($d)) {
        next unless uc($name) =~ /\.INF$/ && -f "$package/$name";
        $package_inf{read_file("$package/$name")} = uc($name);
    }
    closedir($d);
}
my $inf = host_path('windows', 'inf');
if (defined $inf && opendir(my $d, $inf)) {
    my (@found, %stored);
    for my $name (readdir($d)) {
        next unless -f "$inf/$name";
        my $data = read_file("$inf/$name");
        if (exists $package_inf{$data}) {
            push @state, "stored $package_inf{$data}";
            $stored{uc($name) =~ s/\.INF$//r} = 1;
        } elsif (uc($name) =~ /^OEM/) {
            push @found, uc($name);
        }
    }
    closedir($d);
    push @state, map { "inf $_" } grep { !(/^(.*)\.PNF$/ && $stored{$1}) } @found;
}

# ---------------------------------------------------------------- registry
sub unescape {
    my ($s) = @_;
    $s =~ s/\\(?:x([0-9a-fA-F]{1,4})|([0-7]{1,3})|(.))/
        defined $1 ? chr(hex($1)) : defined $2 ? chr(oct($2)) :
        $3 eq 'n' ? "\n" : $3 eq 'r' ? "\r" : $3 eq 't' ? "\t" : $3 eq '0' ? "\0" : $3/ge;
    return $s;
}

sub utf16_bytes {
    my @b = map { hex } grep { length } split /,/, $_[0];
    my $s = '';
    for (my $i = 0; $i + 1 < @b; $i += 2) { $s .= chr($b[$i] | ($b[$i + 1] << 8)); }
    return $s;
}

sub canonical {
    my ($type, $data) = @_;
    return ($type == 1 ? 'REG_SZ ' : 'REG_EXPAND_SZ ') . ($data =~ s/\0.*//sr) if $type == 1 || $type == 2;
    return sprintf('REG_DWORD 0x%08x', unpack('V', $data)) if $type == 4 && length($data) == 4;
    if ($type == 7) {
        my @s;
        for my $part (split /\0/, $data, -1) {
            last if $part eq '';
            push @s, $part;
        }
        return 'REG_MULTI_SZ ' . join(';', @s);
    }
    return "REG_$type " . unpack('H*', $data);
}

sub dumped_value {
    my ($key, $name) = @_;
    return $name if $record_key{$key};
    my @allowed;
    if ($key eq "${services_key}USBSTOR") {
        @allowed = ('gorvel');
    } elsif (index($key, $services_key) == 0 && $service{substr($key, length $services_key)}) {
        @allowed = @service_values;
    } elsif (index($key, $usb_key) == 0) {
        my @parts = split /\\/, substr($key, length $usb_key);
        @allowed = @device_values if @parts == 2;
        @allowed = ('gorvel') if @parts == 3 && $parts[2] eq 'DEVICE PARAMETERS';
    }
    for my $a (@allowed) { return $a if uc($a) eq uc($name); }
    return undef;
}

sub dumped_key {
    my ($key) = @_;
    return 1 if $record_key{$key};
    return 1 if index($key, $services_key) == 0 && $service{substr($key, length $services_key)};
    if (index($key, $usb_key) == 0) {
        my @parts = split /\\/, substr($key, length $usb_key);
        return @parts == 2;
    }
    return 0;
}

open(my $reg, '<:raw', "$prefix/system.reg") or die "no system.reg in $prefix\n";
my $key;
my $pending = '';
while (my $line = <$reg>) {
    $line =~ s/\r?\n$//;
    if ($pending ne '') {
        $line = $pending . ($line =~ s/^\s+//r);
        $pending = '';
    }
    if ($line =~ /\\$/ && $line !~ /^\[/) {
        $pending = substr($line, 0, -1);
        next;
    }
    if ($line =~ /^\[(.*)\]/) {
        $key = uc(unescape($1));
        push @state, "key $key" if dumped_key($key);
        next;
    }
    next unless defined $key;
    next unless $line =~ /^(?:"((?:[^"\\]|\\.)*)"|@)=(.*)$/;
    my ($name, $raw) = (defined $1 ? unescape($1) : '', $2);
    my $canonical_name = dumped_value($key, $name) // next;
    my ($type, $data);
    if ($raw =~ /^"((?:[^"\\]|\\.)*)"$/) {
        ($type, $data) = (1, unescape($1));
    } elsif ($raw =~ /^str\((\d+)\):"((?:[^"\\]|\\.)*)"$/) {
        ($type, $data) = ($1, unescape($2));
    } elsif ($raw =~ /^dword:([0-9a-fA-F]{8})$/) {
        ($type, $data) = (4, pack('V', hex($1)));
    } elsif ($raw =~ /^hex(?:\((\w+)\))?:(.*)$/) {
        $type = defined $1 ? hex($1) : 3;
        $data = ($type == 1 || $type == 2 || $type == 7)
            ? utf16_bytes($2) : join('', map { chr(hex) } grep { length } split /,/, $2);
    } else {
        next;
    }
    push @state, "reg $key|$canonical_name|" . canonical($type, $data);
}
close($reg);

print "$_\n" for @lines, sort @state;
