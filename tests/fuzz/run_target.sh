#!/bin/sh
# Runs one fuzz target from its committed seeds: new inputs and any crash go to a fresh working
# folder, so the seed corpus is never written to.
#   run_target.sh <target binary> <seed folder> <working folder> [libFuzzer options...]
set -eu
target=$1 seeds=$2 work=$3
shift 3
rm -rf "$work"
mkdir -p "$work/corpus"
exec "$target" -seed=1 -artifact_prefix="$work/" "$@" "$work/corpus" "$seeds"
