#!/usr/bin/perl
# Usage: subreaper-exec.pl PROGRAM ARGS...
# Runs PROGRAM as a child subreaper: descendants orphaned by a shell's "&" are
# re-parented to it, so the simulated instrument can wait for them. qemu-user
# refuses this prctl from the emulated program; the setting outlives execve, so
# it is made here, before qemu starts.
use strict;
use warnings;
require 'syscall.ph';
use constant PR_SET_CHILD_SUBREAPER => 36;
syscall(SYS_prctl(), PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) == 0 or die "prctl: $!\n";
exec { $ARGV[0] } @ARGV or die "exec $ARGV[0]: $!\n";
