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
  wine wine64 googletest libcli11-dev unzip qt6-base-dev
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

# Libraries for Windows, in a prefix of their own: GoogleTest from Debian's sources,
# built with the cross compiler, and CLI11, which is headers only.
deps="$dir/deps"
if [ ! -e "$deps/lib/cmake/GTest/GTestConfig.cmake" ]; then
  cmake -S /usr/src/googletest -B "$dir/googletest" -G Ninja "${launcher[@]}" \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$deps" -DBUILD_GMOCK=ON >/dev/null
  cmake --build "$dir/googletest" --target install >/dev/null
fi
mkdir -p "$deps/include" "$deps/share/cmake"
cp -r /usr/include/CLI "$deps/include/"
cp -r /usr/share/cmake/CLI11 "$deps/share/cmake/"

cmake -S "$IXO_ROOT" -B "$dir/ixo" -G Ninja "${launcher[@]}" \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_PREFIX_PATH="$deps" \
  -DIXO_MINGW_PREFIX="$deps" -DIXO_GUI=OFF -DIXO_BENCHMARKS=OFF -DIXO_WERROR=ON \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$IXO_ROOT/scripts/wine-run.sh" \
  -DIXO_LINUX_SIM="$dir/linux-sim/sim/ixo-sim"
cmake --build "$dir/ixo" --parallel "$(nproc)"
rm -f "$dir"/ixo/ixo-loader-*.zip
(cd "$dir/ixo" && cpack -G ZIP >/dev/null)
zip=$(ls "$dir"/ixo/ixo-loader-*.zip)

unpacked=$(mktemp -d)
trap 'wine_prefix_remove; rm -rf "$unpacked"' EXIT
wine_prefix_create "$(mktemp -d /tmp/ixo-wine.XXXXXX)"
(cd "$dir/ixo" && ctest --output-on-failure --parallel "$(nproc)" --timeout 600)

# The zip's ixo.exe runs on its own: it needs no DLL but the system's.
unzip -q "$zip" -d "$unpacked"
ixo_exe=$(find "$unpacked" -name ixo.exe)
foreign=$(x86_64-w64-mingw32-objdump -p "$ixo_exe" | awk '/DLL Name/ { print toupper($3) }' |
  grep -v -x -E 'KERNEL32.DLL|MSVCRT.DLL|SHELL32.DLL|ADVAPI32.DLL|USER32.DLL|SETUPAPI.DLL' || true)
if [ -n "$foreign" ]; then
  echo "$zip: ixo.exe needs DLLs that Windows does not have: $foreign" >&2
  exit 1
fi
# All of the listing is read: a reader that stops early ends ixo with SIGPIPE's status.
listing=$("$IXO_ROOT/scripts/wine-run.sh" "$ixo_exe" list "Z:$IXO_ROOT/examples/short.obj")
first=${listing%%$'\n'*}
if [ "$first" != $'LFO0\tSIN\tAMP=1000\tFREQ=20\r' ]; then
  echo "$zip: its ixo.exe does not list the example: $first" >&2
  exit 1
fi
echo "Windows zip: $zip holds an ixo.exe that runs on its own"

# The window's code compiles for Windows. No Qt for Windows can be had here to link
# it with, so this checks its C++ against Debian's Qt headers with the cross compiler.
qt=$(pkg-config --variable=includedir Qt6Core 2>/dev/null || echo /usr/include/x86_64-linux-gnu/qt6)
for source in "$IXO_ROOT"/src/app/*.cpp; do
  x86_64-w64-mingw32-g++-posix -std=c++20 -fsyntax-only -Wall -Wextra -Werror \
    -I "$IXO_ROOT/src" -I "$dir/ixo/src/core/generated" \
    -isystem "$qt" -isystem "$qt/QtWidgets" -isystem "$qt/QtGui" -isystem "$qt/QtCore" "$source"
done
echo "Window: its code compiles for Windows (not linked: no Qt for Windows here)"
