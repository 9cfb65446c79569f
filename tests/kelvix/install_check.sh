#!/usr/bin/env bash
# Installs into a scratch prefix, checks that every program the README
# documents is there, and builds a C program against the library with nothing
# but pkg-config.
set -euo pipefail
build_dir=$1
source_file=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build_dir" --prefix "$prefix" >/dev/null
for program in quorvantel docking undock robotsim dockingsim stationview dockmon kxgrab kxview; do
  test -x "$prefix/bin/$program" || { echo "not installed: $program"; exit 1; }
done
pc_dir=$(dirname "$(find "$prefix" -name kelvix.pc | head -n 1)")
export PKG_CONFIG_PATH=$pc_dir
test -f "$prefix/include/kelvix.h"
flags=$(pkg-config --cflags --libs --static kelvix)
cc -std=c99 -Wall -Wextra -Werror -o "$prefix/check" "$source_file" $flags
"$prefix/check"
echo "installed library builds and runs"
