#!/usr/bin/env bash
# Cross-builds the Qt-free core, ixo and their tests for 64-bit Windows with MinGW-w64,
# runs the tests under Wine in a throw-away prefix whose serial ports are all off,
# and packs ixo.exe into a zip. The simulated devices the Windows programs talk to
# are ixo-sim built for Linux, on pseudo-terminals entered as the prefix's COM ports.
#   scripts/test-windows.sh      builds in build-windows/
set -euo pipefail
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/lib-wine.sh"

dir="$IXO_ROOT/build-windows"
toolchain="$IXO_ROOT/cmake/mingw-w64-x86_64.cmake"
ensure_packages g++ cmake ninja-build g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev \
  wine wine64 googletest
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$IXO_ROOT}
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
else
  launcher=()
fi

# ixo-sim for Linux, with nothing else.
cmake -S "$IXO_ROOT" -B "$dir/linux-sim" -G Ninja "${launcher[@]}" \
  -DIXO_GUI=OFF -DIXO_TESTS=OFF -DIXO_BENCHMARKS=OFF >/dev/null
cmake --build "$dir/linux-sim" --target ixo-sim

# GoogleTest from Debian's sources, built with the cross compiler.
gtest="$dir/googletest"
if [ ! -e "$gtest/install/lib/cmake/GTest/GTestConfig.cmake" ]; then
  cmake -S /usr/src/googletest -B "$gtest/build" -G Ninja "${launcher[@]}" \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$gtest/install" -DBUILD_GMOCK=ON >/dev/null
  cmake --build "$gtest/build" --target install >/dev/null
fi

cmake -S "$IXO_ROOT" -B "$dir/ixo" -G Ninja "${launcher[@]}" \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_PREFIX_PATH="$gtest/install" \
  -DIXO_MINGW_PREFIX="$gtest/install" -DIXO_GUI=OFF -DIXO_BENCHMARKS=OFF -DIXO_WERROR=ON \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$IXO_ROOT/scripts/wine-run.sh" \
  -DIXO_LINUX_SIM="$dir/linux-sim/sim/ixo-sim"
cmake --build "$dir/ixo" --parallel "$(nproc)"
(cd "$dir/ixo" && cpack -G ZIP >/dev/null && ls -1 "$dir"/ixo/ixo-loader-*.zip)

trap wine_prefix_remove EXIT
wine_prefix_create "$(mktemp -d /tmp/ixo-wine.XXXXXX)"
cd "$dir/ixo"
ctest --output-on-failure --parallel "$(nproc)" --timeout 600
