#!/usr/bin/perl
# xbase_tool: an independent reader of dBASE IV tables, memos and .mdx
# indexes, built on Perl's XBase (DBD-XBase), that the engine's
# compatibility tests run as a second opinion on the files our engine writes.
#
#   xbase_tool dump FILE            fields, then every record (deleted ones
#                                   too) in record order, memo texts included
#   xbase_tool index FILE.mdx TAG   the keys of TAG in index order:
#                                   RECNO,KEY per line
#   xbase_tool tags FILE.mdx        NAME,KEYTYPE,KEYLENGTH,UNIQUE,DESCENDING
#                                   per tag, sorted by name
#
# The dump has the layout of tdbf_tool's, so that the two can be diffed:
#   line 1     NAME:T:WIDTH:DECIMALS,...
#   records    RECNO,DELETED,VALUE,...     DELETED is "*" or empty
# Character and memo values are quoted ("" inside), trailing blanks of
# character fields removed, bytes escaped as \\ \n \r \t \xHH below 0x20;
# numbers are the value (15 significant digits), dates CCYYMMDD, logicals
# T or F, blanks empty. Index keys: character keys quoted with their padding,
# numeric keys as values, date keys as CCYYMMDD (empty for day 0).
#
# Companion files (.dbt) are found without regard to case. Exit status:
# 0 success, 1 failure, 2 usage.
use strict;
use warnings;
use File::Basename qw(dirname basename);
use XBase;
use XBase::Index;

binmode STDOUT;

sub fail { print STDERR "xbase_tool: @_\n"; exit 1; }

sub usage {
    print STDERR "usage: xbase_tool dump FILE | index FILE.mdx TAG | tags FILE.mdx\n";
    exit 2;
}

sub quote_text {
    my ($s) = @_;
    $s = '' unless defined $s;
    $s =~ s/\\/\\\\/g;
    $s =~ s/"/""/g;
    $s =~ s/\n/\\n/g;
    $s =~ s/\r/\\r/g;
    $s =~ s/\t/\\t/g;
    $s =~ s/([\x00-\x1f\x7f])/sprintf('\\x%02X', ord $1)/ge;
    return qq{"$s"};
}

# Integral values without a point, others with 15 significant digits.
sub format_number {
    my ($v) = @_;
    return '' unless defined $v;
    return sprintf('%d', $v) if $v == int($v) && abs($v) < 1e15;
    return sprintf('%.15g', $v);
}

sub find_no_case {
    my ($dir, $name) = @_;
    opendir(my $dh, $dir) or return;
    my @hits = grep { lc($_) eq lc($name) } readdir($dh);
    closedir($dh);
    return unless @hits;
    my ($exact) = grep { $_ eq $name } @hits;
    return "$dir/" . (defined $exact ? $exact : $hits[0]);
}

sub dump_table {
    my ($file) = @_;
    fail("$file: no such file") unless -f $file;
    my %options = (name => $file);
    (my $base = basename($file)) =~ s/\.[^.]*$//;
    my $memo = find_no_case(dirname($file), "$base.dbt");
    $options{memofile} = $memo if defined $memo;
    my $table = XBase->new(%options) or fail(XBase->errstr);

    my @names = $table->field_names;
    my @types = $table->field_types;
    my @lengths = $table->field_lengths;
    my @decimals = $table->field_decimals;
    my @out;
    push @out, join(',', map { "$names[$_]:$types[$_]:$lengths[$_]:$decimals[$_]" } 0 .. $#names);

    for my $n (0 .. $table->last_record) {
        my ($deleted, @values) = $table->get_record($n);
        fail("record " . ($n + 1) . ": " . ($table->errstr || 'cannot be read'))
            unless defined $deleted;
        my @cells = ($n + 1, $deleted ? '*' : '');
        for my $i (0 .. $#names) {
            my ($type, $v) = ($types[$i], $values[$i]);
            if ($type eq 'C') {
                $v = '' unless defined $v;
                $v =~ s/ +$//;
                push @cells, quote_text($v);
            } elsif ($type eq 'N' || $type eq 'F') {
                push @cells, format_number($v);
            } elsif ($type eq 'D') {
                push @cells, defined $v ? sprintf('%08d', $v) : '';
            } elsif ($type eq 'L') {
                push @cells, !defined $v ? '' : $v ? 'T' : 'F';
            } else {
                push @cells, quote_text($v);
            }
        }
        push @out, join(',', @cells);
    }
    $table->close;
    # Nothing is printed unless the whole table was read.
    print map { "$_\n" } @out;
}

# A packed-BCD numeric key: byte 0 is 52 plus the digits before the point,
# bit 7 of byte 1 the sign, bytes 2..11 the digits, two to a byte.
sub bcd_value {
    my ($key) = @_;
    my @b = unpack('C*', $key);
    my $digits = join '', map { sprintf('%02x', $_) } @b[2 .. $#b];
    $digits =~ s/0+$//;
    return 0 if $digits eq '';
    my $exponent = $b[0] - 52;
    my $text;
    if ($exponent <= 0) {
        $text = '0.' . ('0' x -$exponent) . $digits;
    } elsif ($exponent >= length $digits) {
        $text = $digits . ('0' x ($exponent - length $digits));
    } else {
        $text = substr($digits, 0, $exponent) . '.' . substr($digits, $exponent);
    }
    my $v = $text + 0;
    return ($b[1] & 0x80) ? -$v : $v;
}

sub julian_to_date {
    my ($jd) = @_;
    return '' if !$jd;
    my $l = int($jd) + 68569;
    my $n = int(4 * $l / 146097);
    $l = $l - int((146097 * $n + 3) / 4);
    my $i = int(4000 * ($l + 1) / 1461001);
    $l = $l - int(1461 * $i / 4) + 31;
    my $j = int(80 * $l / 2447);
    my $day = $l - int(2447 * $j / 80);
    $l = int($j / 11);
    my $month = $j + 2 - 12 * $l;
    my $year = 100 * ($n - 49) + $i + $l;
    return sprintf('%04d%02d%02d', $year, $month, $day);
}

sub open_index {
    my ($file, $tag) = @_;
    fail("$file: no such file") unless -f $file;
    my $probe = XBase::Index->new($file) or fail(XBase::Index->errstr || "$file: cannot be read");
    my %by_upper = map { (uc($_) => $_) } $probe->tags;
    return ($probe, \%by_upper) unless defined $tag;
    my $name = $by_upper{uc $tag};
    fail("no tag $tag in $file") unless defined $name;
    my $index = XBase::Index->new($file, tag => $name) or fail(XBase::Index->errstr);
    return ($index, \%by_upper);
}

sub key_type {
    my ($tag) = @_;
    my $type = $tag->{key_type_1};
    $type = $tag->{key_type} if !defined $type || $type !~ /^[CND]$/;
    return $type;
}

sub dump_index {
    my ($file, $tag) = @_;
    my ($index) = open_index($file, $tag);
    my $type = key_type($index->{active});
    $index->prepare_select or fail($index->errstr);
    # XBase follows page pointers as it finds them: a damaged index whose
    # pointers form a cycle would keep it walking (and growing) for ever. A
    # sound walk enters each page once.
    my $pages = int((-s $file) / 512) + 1;
    my $entered = 0;
    my $get_record = \&XBase::Index::get_record;
    no warnings 'redefine';
    local *XBase::Index::get_record = sub {
        fail("$file: the walk of tag $tag enters more pages than the file has (damaged index?)")
            if ++$entered > $pages;
        goto &$get_record;
    };
    local $SIG{ALRM} = sub { fail("$file: the walk of tag $tag does not end (damaged index?)") };
    alarm(60);
    my @out;
    while (my ($key, $recno) = $index->fetch) {
        my $text;
        if ($type eq 'N') {
            $text = format_number(bcd_value($key));
        } elsif ($type eq 'D') {
            $text = julian_to_date(unpack('d<', $key));
        } else {
            $text = quote_text($key);
        }
        push @out, "$recno,$text";
    }
    alarm(0);
    fail($index->errstr) if $index->errstr;
    print map { "$_\n" } @out;
}

sub list_tags {
    my ($file) = @_;
    my ($index, $names) = open_index($file, undef);
    my @out;
    for my $name (sort values %$names) {
        my $tag = $index->{tags}{$name};
        my $format = $tag->{key_format_1} & 0xff;
        push @out, join(',', $name, key_type($tag), $tag->{key_length},
            ($format & 0x40) ? 1 : 0, ($format & 0x08) ? 1 : 0);
    }
    print map { "$_\n" } @out;
}

my $command = shift @ARGV;
usage() unless defined $command;
if ($command eq 'dump' && @ARGV == 1) {
    dump_table($ARGV[0]);
} elsif ($command eq 'index' && @ARGV == 2) {
    dump_index(@ARGV);
} elsif ($command eq 'tags' && @ARGV == 1) {
    list_tags($ARGV[0]);
} else {
    usage();
}
exit 0;
