#!/usr/bin/env bash
# Installs the build (default build/) into a fresh prefix of its own and
# builds a small C program against the installed tree twice: through the
# CMake package (find_package(Kestrl30), shared and static library) and
# through pkg-config (shared). The prefix is moved after installing, so both must
# find everything relative to where the tree now lies.
#
#   scripts/install_check.sh [BUILD_FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/installed" >/dev/null
mv "$work/installed" "$work/moved"
prefix=$work/moved
libdir=$(dirname "$(find "$prefix" -name kestrl30.pc)")/..
for program in kestrl; do
  [[ -x $prefix/bin/$program ]] || { echo "install_check: bin/$program not installed" >&2; exit 1; }
done
for library in libkestrl30.a libkestrl30.so; do
  [[ -e $libdir/$library ]] || { echo "install_check: $library not installed" >&2; exit 1; }
done

echo "== find_package(Kestrl30)"
cmake -S tests/install -B "$work/cmake-consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake-consumer" >/dev/null
LD_LIBRARY_PATH=$libdir "$work/cmake-consumer/consumer_shared"
"$work/cmake-consumer/consumer_static"

echo "== pkg-config kestrl30"
export PKG_CONFIG_PATH=$libdir/pkgconfig
cc -o "$work/pc-consumer" "$root/tests/install/consumer.c" $(pkg-config --cflags --libs kestrl30)
LD_LIBRARY_PATH=$libdir "$work/pc-consumer"
echo "install_check: the installed tree builds consumers both ways"
