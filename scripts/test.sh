#!/usr/bin/env bash
# Builds everything and runs every test.
#
#   --sanitize          AddressSanitizer + UndefinedBehaviorSanitizer (leak
#                       detection on), Debug, in build-sanitize/
#   --compiler gcc|clang  the compiler pair to build with (default: CMake's
#                       choice, normally gcc)
#   --build-type TYPE   Debug, Release, RelWithDebInfo (default) or MinSizeRel
#   --werror            treat warnings as errors (CI does)
#   --simd              build the SIMD colour kernels too (KESTRL_SIMD), so the
#                       tests hold them against the scalar loop
#
# The build folder is build/ for the default configuration and
# build-<compiler>-<type>/ when a compiler or build type is chosen.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
build=build
flags=()
compiler=""
build_type=""
while (($#)); do
  case "$1" in
    --sanitize)
      build=build-sanitize
      flags+=(-DKESTRL_SANITIZE=ON)
      build_type=${build_type:-Debug}
      export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
      export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
      ;;
    --compiler) compiler=$2; shift ;;
    --build-type) build_type=$2; shift ;;
    --werror) flags+=(-DKESTRL_WERROR=ON) ;;
    --simd) flags+=(-DKESTRL_SIMD=ON) ;;
    *) echo "test.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
case "$compiler" in
  "") ;;
  gcc) export CC=gcc CXX=g++ ;;
  clang)
    export CC=clang CXX=clang++
    command -v clang++ >/dev/null || {
      apt-get update -qq
      DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends clang
    }
    ;;
  *) echo "test.sh: --compiler takes gcc or clang" >&2; exit 2 ;;
esac
if [[ $build == build && ( -n $compiler || -n $build_type ) ]]; then
  build=build-${compiler:-default}-${build_type:-RelWithDebInfo}
fi
[[ -n $build_type ]] && flags+=(-DCMAKE_BUILD_TYPE="$build_type")
cmake -S . -B "$build" -G Ninja "${flags[@]}"
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
