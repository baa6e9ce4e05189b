# Shared by the scripts in this folder: package installation and the build.
# Source it; do not run it.

IXO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Runs a command as root: directly when we are root, else through sudo.
as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the Debian packages named that are not installed yet.
ensure_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# What building, running and testing the program need.
ensure_build_packages() {
  ensure_packages g++ cmake ninja-build pkg-config qt6-base-dev libgl-dev libudev-dev \
    libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev fonts-liberation libqt6svg6
  # The tests fake USB serial adapters and their udev records.
  ensure_packages umockdev libumockdev-dev
}

# What the tests and scripts that work the real window on a virtual X server use
# besides: the server, a window manager, and tools to find and measure windows.
X11_PACKAGES=(xvfb xauth x11-utils xdotool openbox)

# configure BUILD_DIR [CMAKE_OPTIONS...]
# Uses ccache where it is installed; paths relative to the checkout let several
# checkouts of the project share its cache.
configure() {
  local dir=$1; shift
  if command -v ccache >/dev/null; then
    export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$IXO_ROOT}
    set -- -DCMAKE_CXX_COMPILER_LAUNCHER=ccache "$@"
  fi
  cmake -S "$IXO_ROOT" -B "$dir" -G Ninja -DIXO_WERROR=ON "$@"
}

# build BUILD_DIR: builds everything, showing each step as it goes.
build() {
  cmake --build "$1" --parallel "$(nproc)"
}

# configure_and_build BUILD_DIR [CMAKE_OPTIONS...]
configure_and_build() {
  configure "$@"
  build "$1"
}
