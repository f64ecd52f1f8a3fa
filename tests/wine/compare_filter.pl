#!/usr/bin/perl
# Brings a dump of the simulated machine (SIDE sim) or of Wine (SIDE wine)
# to the common ground of the comparison: where Wine cannot show what
# Windows does, the simulated machine's line is replaced by Wine's. Every
# rule names its entry in docs/wine-limitations.md; nothing else is changed.
#
# Usage: compare_filter.pl sim|wine <DUMP >FILTERED
use strict;
use warnings;

my $side = shift // die "usage: compare_filter.pl sim|wine\n";
die "usage: compare_filter.pl sim|wine\n" unless $side eq 'sim' || $side eq 'wine';

while (my $line = <STDIN>) {
    if ($side eq 'sim') {
        # W1: UpdateDriverForPlugAndPlayDevicesA succeeds under Wine for an
        # ID that no present device carries.
        $line =~ s/^record UpdateDriver FAILURE: \(0xe000020b\)$/record Updated success!\\n/;
    } else {
        # W2: Wine's CreateServiceA stores ImagePath as REG_SZ.
        $line =~ s/^(reg SYSTEM\\CURRENTCONTROLSET\\SERVICES\\[^|]+\|ImagePath\|)REG_SZ /${1}REG_EXPAND_SZ /;
    }
    print $line;
}
