#!/bin/sh
# Builds a consumer program with nothing but the compiler and pkg-config, as a Makefile would,
# and runs it. Arguments: C++ compiler, program source, pkg-config folder, output folder.
set -eu
compiler=$1 source=$2 pc_dir=$3 out_dir=$4
mkdir -p "$out_dir"
flags=$(PKG_CONFIG_PATH="$pc_dir" pkg-config --cflags --libs tenebrant)
# shellcheck disable=SC2086 # the flags are a list of words
program="$out_dir/$(basename "$source" .cpp)"
"$compiler" -Wall -Wextra -o "$program" "$source" $flags
"$program"
