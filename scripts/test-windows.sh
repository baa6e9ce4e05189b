#!/usr/bin/env bash
# Cross-builds the core, ixo, the window and their tests for 64-bit Windows with
# MinGW-w64, against the Qt for Windows that scripts/qt-windows.sh makes (once, into
# a cache), runs the tests under Wine in a throw-away prefix whose serial ports are
# all off, on a virtual X server for the window, and packs ixo.exe and the window
# into a zip, whose window is then started in a clean prefix of its own and reads a
# simulated device. The simulated devices the Windows programs talk to are ixo-sim
# built for Linux, on pseudo-terminals entered as the prefix's COM ports.
#   scripts/test-windows.sh      builds in build-windows/
set -euo pipefail
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/lib-wine.sh"

dir="$IXO_ROOT/build-windows"
toolchain="$IXO_ROOT/cmake/mingw-w64-x86_64.cmake"
ensure_packages g++ cmake ninja-build g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev \
  wine wine64 googletest libcli11-dev unzip qt6-base-dev qt6-base-dev-tools imagemagick \
  "${X11_PACKAGES[@]}"
# Wine draws the window on an X server: the whole run has a virtual one.
if [ -z "${IXO_WINDOWS_X:-}" ]; then
  exec env IXO_WINDOWS_X=1 xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "$0" "$@"
fi
qt=$("$IXO_ROOT/scripts/qt-windows.sh" | tail -n 1)
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

# Qt's tools (moc, rcc, uic) are the host's, of the same version.
host_cmake=$(dirname "$(dirname "$(find /usr/lib -path '*/cmake/Qt6HostInfo/Qt6HostInfoConfig.cmake' | head -n 1)")")
cmake -S "$IXO_ROOT" -B "$dir/ixo" -G Ninja "${launcher[@]}" \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_PREFIX_PATH="$deps;$qt" \
  -DIXO_MINGW_PREFIX="$deps;$qt" -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="$host_cmake" \
  -DIXO_GUI=ON -DIXO_BENCHMARKS=OFF -DIXO_WERROR=ON \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$IXO_ROOT/scripts/wine-run.sh" \
  -DIXO_LINUX_SIM="$dir/linux-sim/sim/ixo-sim"
cmake --build "$dir/ixo" --parallel "$(nproc)"
rm -f "$dir"/ixo/ixo-loader-*.zip
(cd "$dir/ixo" && cpack -G ZIP >/dev/null)
zip=$(ls "$dir"/ixo/ixo-loader-*.zip)

unpacked=$(mktemp -d)
trap 'wine_prefix_remove; rm -rf "$unpacked"' EXIT
wine_prefix_create "$(mktemp -d /tmp/ixo-wine.XXXXXX)"
# The tests find Qt's libraries and the MinGW run-time where they were built.
runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
export WINEPATH="Z:$qt/bin;Z:$runtime;Z:/usr/x86_64-w64-mingw32/lib"
(cd "$dir/ixo" && ctest --output-on-failure --parallel "$(nproc)" --timeout 600)
unset WINEPATH

unzip -q "$zip" -d "$unpacked"
# Nothing in the zip carries debugging information, which would make it half again
# as large.
for binary in $(find "$unpacked" -iname '*.exe' -o -iname '*.dll'); do
  if x86_64-w64-mingw32-objdump -h "$binary" | grep -q ' \.debug_'; then
    echo "$zip: $(basename "$binary") carries debugging information" >&2
    exit 1
  fi
done
# The zip's ixo.exe runs on its own: it needs no DLL but the system's.
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

# The zip's window needs nothing that Windows lacks: every library that it, its
# libraries and its plugins name is in the zip or is one of the system's own (an API
# set, api-ms-win-*, is a name Windows' loader resolves itself).
ixo_loader_exe=$(find "$unpacked" -name ixo-loader.exe)
system32="$WINEPREFIX/drive_c/windows/system32"
missing=""
for binary in $(find "$unpacked" -iname '*.exe' -o -iname '*.dll'); do
  for dll in $(x86_64-w64-mingw32-objdump -p "$binary" |
    awk '/DLL Name/ && tolower($3) !~ /^api-ms-win-/ { print $3 }'); do
    [ -n "$(find "$unpacked" "$system32" -maxdepth 3 -iname "$dll" -print -quit)" ] ||
      missing+=" $dll (of $(basename "$binary"))"
  done
done
if [ -n "$missing" ]; then
  echo "$zip: the window needs libraries that neither the zip nor Windows has:$missing" >&2
  exit 1
fi
# ...and starts in a clean prefix, where it reads the simulated device.
"$IXO_ROOT/scripts/screenshot-windows.sh" "$ixo_loader_exe" "$unpacked/window.png"
echo "Windows zip: $zip ($(du -k "$zip" | cut -f1) KiB) holds a window that starts on its own and reads the device"
