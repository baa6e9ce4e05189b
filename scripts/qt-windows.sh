#!/usr/bin/env bash
# Makes Qt for 64-bit Windows (Core, Gui, Widgets, Test and the Windows platform
# plugin) from Debian's own qt6-base source, at the version of the host Qt whose
# tools (moc, rcc, uic) serve as the build's host side, cross-compiled with MinGW-w64
# in its POSIX thread model. It installs into a cache outside the work tree:
#   ${XDG_CACHE_HOME:-$HOME/.cache}/ixo-loader/qt-windows-<Qt>-<compiler>-<hash>/
# keyed by the Qt version, the compiler's version and a hash of this script, its
# patches and the toolchain file; ".done" there is written last. With that key in
# place a run does nothing. Prints the install folder as its last line.
#   scripts/qt-windows.sh            builds (or finds) it
#   scripts/qt-windows.sh --prefix   prints the install folder, building nothing
set -euo pipefail
source "$(dirname "$0")/lib.sh"

patches="$IXO_ROOT/scripts/qt-windows-patches"
toolchain="$IXO_ROOT/cmake/mingw-w64-x86_64.cmake"
cxx=x86_64-w64-mingw32-g++-posix

qt_version() { dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null; }

qt_windows_prefix() {
  local qt compiler hash
  qt=$(qt_version)
  compiler=$("$cxx" -dumpfullversion 2>/dev/null || echo none)
  hash=$(cat "$IXO_ROOT/scripts/qt-windows.sh" "$toolchain" "$patches"/* | sha256sum | cut -c1-12)
  echo "${XDG_CACHE_HOME:-$HOME/.cache}/ixo-loader/qt-windows-${qt//[:+~]/_}-gcc$compiler-$hash"
}

if [ "${1:-}" = --prefix ]; then
  qt_windows_prefix
  exit 0
fi

# Settled before anything is installed, so that a warm run costs no package check.
if [ -n "$(qt_version)" ] && command -v "$cxx" >/dev/null; then
  prefix=$(qt_windows_prefix)
  if [ -e "$prefix/.done" ]; then
    echo "$prefix"
    exit 0
  fi
fi

ensure_packages qt6-base-dev qt6-base-dev-tools g++-mingw-w64-x86-64-posix \
  mingw-w64-x86-64-dev cmake ninja-build dpkg-dev xz-utils
prefix=$(qt_windows_prefix)
# One build at a time: a second run waits for the first, then finds its result.
mkdir -p "$(dirname "$prefix")"
exec 9>"$(dirname "$prefix")/.qt-windows.lock"
flock 9
[ -e "$prefix/.done" ] && { echo "$prefix"; exit 0; }
version=$(qt_version)

# apt-get source needs deb-src entries: the archives of the machine's own Debian
# entries, asked for their sources too.
if ! apt-get indextargets --format '$(CREATED_BY)' 2>/dev/null | grep -qx Sources; then
  if [ -e /etc/apt/sources.list.d/debian.sources ]; then
    sed -e '/^#/d' -e 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
      as_root tee /etc/apt/sources.list.d/ixo-debian-src.sources >/dev/null
  fi
  if [ -e /etc/apt/sources.list ]; then
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list |
      as_root tee /etc/apt/sources.list.d/ixo-debian-src.list >/dev/null
  fi
  as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq
fi

work="$prefix.work"
rm -rf "$work" "$prefix"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get source -qq qt6-base="$version" >/dev/null 2>&1 ||
  apt-get source qt6-base="$version")
src=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)
for patch in "$patches"/*.patch; do
  [ -e "$patch" ] || continue
  patch -d "$src" -p1 --forward --silent <"$patch"
done

# With ccache, paths taken relative to the work folder let a build under another
# key (after a change to this script) reuse what an earlier one compiled.
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DQT_USE_CCACHE=ON)
  export CCACHE_BASEDIR=$work
fi
host_cmake=$(dirname "$(dirname "$(find /usr/lib -path '*/cmake/Qt6HostInfo/Qt6HostInfoConfig.cmake' | head -n 1)")")

# The smallest Qt that serves the window and its tests: no network, SQL, XML, D-Bus,
# OpenGL or printing; the third-party libraries Qt carries are built into it, so
# that nothing from the build machine ends up in a Windows DLL. Direct2D goes with
# DirectWrite 3, which its platform plugin needs; Debian's source lacks the tablet
# library. FreeType is kept: under Wine the window draws its text with it.
# scripts/qt-windows-patches/ says why each of its patches is needed.
nice cmake -S "$src" -B "$work/build" -G Ninja "${launcher[@]}" \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=ON \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="$host_cmake" \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
  -DFEATURE_pkg_config=OFF -DFEATURE_androiddeployqt=OFF \
  -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_xml=OFF -DFEATURE_dbus=OFF \
  -DFEATURE_concurrent=OFF -DFEATURE_printsupport=OFF -DFEATURE_opengl=OFF \
  -DFEATURE_vulkan=OFF -DFEATURE_direct2d=OFF -DFEATURE_directwrite3=OFF \
  -DFEATURE_tabletevent=OFF -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF -DFEATURE_ico=OFF \
  -DFEATURE_zstd=OFF -DFEATURE_icu=OFF -DFEATURE_glib=OFF -DFEATURE_fontconfig=OFF \
  -DFEATURE_freetype=ON -DFEATURE_system_freetype=OFF -DFEATURE_harfbuzz=ON \
  -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF \
  -DFEATURE_system_pcre2=OFF -DFEATURE_system_doubleconversion=OFF \
  -DFEATURE_system_libb2=OFF -DFEATURE_testlib=ON -DFEATURE_widgets=ON
nice cmake --build "$work/build" --parallel "$(nproc)"
nice cmake --install "$work/build" >/dev/null
# Only what the builds here take: the tools of this Qt are the host's.
rm -rf "$prefix/doc" "$prefix/mkspecs/features/uikit"
touch "$prefix/.done"
echo "$prefix"
