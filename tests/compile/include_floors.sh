#!/bin/bash
# The house plan of the sources: includes run down the floors only. From the
# top: src/run (entry and run sequence); the subsystems (environment, install,
# cleanup, devices, records), which may include one another sideways as long
# as no circle forms; src/common; src/log, the ground floor; src/platform.
# hallimor-check and the signing tool (tools/) and the INF and catalog
# readers (lib/) stand beside the installer: they take the product's tables,
# texts and environment code from below src/run, and nothing in src/
# includes them. Prints the folder graph.
#   include_floors.sh SOURCE_DIR
set -u
cd "$1" || exit 1
git ls-files 'src/*.cpp' 'src/*.h' 'tools/*.cpp' 'tools/*.h' 'lib/*.cpp' 'lib/*.h' 2>/dev/null |
    perl -e '
    my %rank = ("src/platform" => 0, "src/log" => 1, "src/common" => 2, "src/environment" => 3,
                "src/install" => 3, "src/cleanup" => 3, "src/devices" => 3, "src/records" => 3,
                "src/run" => 4, "lib/inf" => 3, "lib/catalog" => 3, "tools/check" => 4,
                "tools/sign" => 4);
    my (%edges, $failed);
    sub folder { my @p = split m{/}, shift; return "$p[0]/$p[1]"; }
    while (my $file = <STDIN>) {
        chomp $file;
        open(my $in, "<", $file) or die "$file: $!";
        while (<$in>) {
            next unless /^#include "([^"]+)"/;
            my $inc = $1;
            my $dir = $file =~ s{/[^/]*$}{}r;
            my ($target) = grep { -f } ("$dir/$inc", "src/$inc", "lib/$inc");
            if (!defined $target) { print "FAIL: $file includes $inc, which is not in the tree\n"; $failed = 1; next; }
            my ($from, $to) = (folder($file), folder($target));
            next if $from eq $to;
            $edges{$from}{$to} = 1;
            my $beside = $from !~ m{^src/} && $to =~ m{^src/} && $to ne "src/run";
            if (!exists $rank{$from} || !exists $rank{$to} ||
                ($rank{$to} >= $rank{$from} && !$beside && !($rank{$to} == 3 && $rank{$from} == 3))) {
                print "FAIL: $file includes $inc: $from may not include $to\n";
                $failed = 1;
            }
        }
    }
    # No circle between folders.
    my %state;
    my @path;
    sub visit {
        my $n = shift;
        $state{$n} = 1; push @path, $n;
        for my $m (sort keys %{ $edges{$n} || {} }) {
            if (($state{$m} // 0) == 1) {
                my @loop = @path; shift @loop while $loop[0] ne $m;
                print "FAIL: circle ", join(" -> ", @loop, $m), "\n"; $failed = 1;
            } elsif (!$state{$m}) { visit($m); }
        }
        pop @path; $state{$n} = 2;
    }
    visit($_) for grep { !$state{$_} } sort keys %edges;
    print "$_ -> ", join(", ", sort keys %{ $edges{$_} }), "\n" for sort keys %edges;
    print "ok: every include runs down a floor or sideways, without a circle\n" unless $failed;
    exit($failed ? 1 : 0);'
