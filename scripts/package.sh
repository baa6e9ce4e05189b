#!/usr/bin/env bash
# Builds the Debian package in build-package/ and checks it: lintian must find no
# error and no warning, desktop-file-validate nothing, not even a hint, in its
# desktop entry, and appstreamcli no error and no warning in its AppStream metainfo.
#   scripts/package.sh
# The package's maintainer is whoever ships it: IXO_PACKAGE_MAINTAINER="Name
# <address>", or DEBFULLNAME and DEBEMAIL; without them, the author of the commit
# the package is built from.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

if [ $# -gt 0 ]; then
  echo "usage: scripts/package.sh" >&2
  exit 2
fi

ensure_build_packages
ensure_packages lintian desktop-file-utils appstream dpkg-dev git

maintainer=${IXO_PACKAGE_MAINTAINER:-}
if [ -z "$maintainer" ] && [ -n "${DEBFULLNAME:-}" ] && [ -n "${DEBEMAIL:-}" ]; then
  maintainer="$DEBFULLNAME <$DEBEMAIL>"
fi
if [ -z "$maintainer" ]; then
  maintainer=$(git -C "$IXO_ROOT" log -1 --format='%an <%ae>')
fi

dir="$IXO_ROOT/build-package"
rm -f "$dir"/ixo-loader_*.deb
# Built with Debian's flags, hardening included, as a package built by its own
# tools would be.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
configure_and_build "$dir" -DIXO_TESTS=OFF -DIXO_BENCHMARKS=OFF \
  "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)" \
  "-DIXO_PACKAGE_MAINTAINER=$maintainer"
(cd "$dir" && cpack)
deb=$(ls "$dir"/ixo-loader_*.deb)

echo "lintian $(basename "$deb")"
lintian --fail-on error,warning --display-info "$deb"

entry=$(mktemp -d)
trap 'rm -rf "$entry"' EXIT
dpkg-deb -x "$deb" "$entry"
said=$(desktop-file-validate "$entry/usr/share/applications/ixo-loader.desktop") || status=$?
if [ "${status:-0}" -ne 0 ] || [ -n "$said" ]; then
  echo "desktop-file-validate: ${said:-failed}" >&2
  exit 1
fi
# What software centres show: checked offline, so that the check needs no network.
appstreamcli validate --no-net "$entry/usr/share/metainfo/io.github.ixoloader.IxoLoader.metainfo.xml"
echo "Package: $(basename "$deb") passes lintian, desktop-file-validate and appstreamcli validate"
