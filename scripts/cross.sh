#!/usr/bin/env bash
# Builds and tests the library for the machines its callers run on:
#   build-i686/     32-bit x86 Linux (-m32): the library and the whole test
#                   suite, run natively;
#   build-mingw64/  64-bit Windows (mingw-w64): the DLL and the whole test
#                   suite, run under wine64;
#   build-mingw32/  32-bit Windows (mingw-w64), what the drivers load: the
#                   DLL, whose export table is printed and checked, and the
#                   whole test suite, run under wine's 32-bit loader.
# GoogleTest is built for each target from the sources Debian ships. The
# command-line tool and the benchmarks stay out (their image libraries are
# the build machine's). Installs the Debian packages it needs.
#
#   --werror   treat warnings as errors (CI does)
#
# When build/ (scripts/test.sh) holds the native loading test, every target's
# jobs must give the same dots as the native library.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
werror=OFF
[[ "${1:-}" == "--werror" ]] && werror=ON

# wine32 is an i386 package: the architecture is added first, so that the
# install's apt-get update lists it.
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
bash scripts/deps.sh cmake ninja-build g++-multilib g++-mingw-w64-x86-64-posix \
  g++-mingw-w64-i686-posix binutils-mingw-w64 wine64 wine32:i386 googletest nlohmann-json3-dev

# configure BUILD TOOLCHAIN: GoogleTest for the target (once), then the project.
configure() {
  local build=$1 toolchain=$root/cmake/$2
  local gtest=$root/$build/googletest
  if [[ ! -f $gtest/lib/cmake/GTest/GTestConfig.cmake ]]; then
    cmake -S /usr/src/googletest -B "$build/googletest-build" -G Ninja -Wno-dev \
      -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF \
      -DINSTALL_GTEST=ON -DCMAKE_INSTALL_LIBDIR=lib -DCMAKE_INSTALL_PREFIX="$gtest" >/dev/null
    cmake --build "$build/googletest-build" >/dev/null
    cmake --install "$build/googletest-build" >/dev/null
  fi
  cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DKESTRL_CROSS_PREFIX="$gtest" -DCMAKE_BUILD_TYPE=Release -DKESTRL_WERROR=$werror \
    -DKESTRL_BUILD_TOOLS=OFF -DKESTRL_BUILD_BENCHMARKS=OFF
}

# same_dots NAME COMMAND...: the loading test's output equals the native one.
native=""
if [[ -x build/tests/loader/load_library && -d build/tests/loader/pack ]]; then
  native=$(build/tests/loader/load_library build/libkestrl30.so build/tests/loader/pack)
fi
same_dots() {
  local name=$1
  shift
  [[ -n $native ]] || return 0
  local output
  output=$("$@" | tr -d '\r')
  if [[ $output != "$native" ]]; then
    printf '%s: the loading test differs from the native library\n%s\n--- native:\n%s\n' \
      "$name" "$output" "$native" >&2
    return 1
  fi
  echo "$name: same dots as the native library"
}

# Some kernels are built without 32-bit x86 support ("Exec format error" for
# every -m32 program, wine's 32-bit loader included): there the 32-bit builds
# are still compiled warning-free, and their runs are reported as skipped.
runs_32bit() {
  local probe=$root/build-i686-probe
  printf 'int main(void) { return 0; }\n' >"$probe.c"
  gcc -m32 "$probe.c" -o "$probe" && "$probe" 2>/dev/null
}
if runs_32bit; then can_run_32=1; else can_run_32=0; fi
skip_32() { echo "== $1: built; NOT RUN, this machine cannot run 32-bit x86 programs" >&2; }

echo "== 32-bit x86 Linux"
configure build-i686 toolchain-linux-i686.cmake
cmake --build build-i686
if ((can_run_32)); then
  ctest --test-dir build-i686 --output-on-failure
  same_dots "32-bit x86 Linux" build-i686/tests/loader/load_library \
    build-i686/libkestrl30.so build-i686/tests/loader/pack
else
  skip_32 "32-bit x86 Linux"
fi

echo "== 64-bit Windows under wine64 (${SECONDS}s so far)"
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
export WINEPREFIX=$root/build-mingw64/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap '"${wine%64}server" -k 2>/dev/null || true' EXIT
configure build-mingw64 toolchain-mingw-x86_64.cmake
cmake --build build-mingw64
[[ -f $WINEPREFIX/system.reg ]] || "$wine" wineboot --init >/dev/null 2>&1
ctest --test-dir build-mingw64 --output-on-failure
same_dots "64-bit Windows" "$wine" build-mingw64/tests/loader/load_library.exe \
  "$root/build-mingw64/kestrl30.dll" "$root/build-mingw64/tests/loader/pack"

echo "== 32-bit Windows under wine (${SECONDS}s so far)"
configure build-mingw32 toolchain-mingw-i686.cmake
cmake --build build-mingw32
# A prefix of its own, made by the 32-bit loader (one made before wine32 was
# installed has no 32-bit system libraries).
export WINEPREFIX=$root/build-mingw32/wine
if ((can_run_32)); then
  [[ -f $WINEPREFIX/system.reg ]] || /usr/lib/wine/wine wineboot --init >/dev/null 2>&1
  ctest --test-dir build-mingw32 --output-on-failure
  same_dots "32-bit Windows" /usr/lib/wine/wine build-mingw32/tests/loader/load_library.exe \
    "$root/build-mingw32/kestrl30.dll" "$root/build-mingw32/tests/loader/pack"
else
  skip_32 "32-bit Windows"
fi
i686-w64-mingw32-objdump -p build-mingw32/kestrl30.dll | sed -n '/Ordinal\/Name Pointer/,/^$/p'
echo "cross builds done in ${SECONDS}s"
