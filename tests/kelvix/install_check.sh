#!/usr/bin/env bash
# Installs the library into a scratch prefix and builds a C program against it
# with nothing but pkg-config.
set -euo pipefail
build_dir=$1
source_file=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build_dir" --prefix "$prefix" >/dev/null
pc_dir=$(dirname "$(find "$prefix" -name kelvix.pc | head -n 1)")
export PKG_CONFIG_PATH=$pc_dir
test -f "$prefix/include/kelvix.h"
flags=$(pkg-config --cflags --libs --static kelvix)
cc -std=c99 -Wall -Wextra -Werror -o "$prefix/check" "$source_file" $flags
"$prefix/check"
echo "installed library builds and runs"
