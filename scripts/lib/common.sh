# Shared by the scripts: Debian packages and the project root.

KEYCONV_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# Installs the missing Debian packages when run as root; otherwise prints
# the install line and stops.
ensure_packages() {
  local missing=()
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -eq 0 ]; then
    echo "== installing: ${missing[*]}"
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
  else
    echo "Missing Debian packages. Install them with:" >&2
    echo "  sudo apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
}

BUILD_PACKAGES=(g++ cmake ninja-build pkg-config libevdev-dev libudev-dev)
# makepkg and pacman, Debian's own packages of them, for the Arch package.
ARCH_PACKAGES=(makepkg pacman-package-manager libarchive-tools fakeroot zstd)
TEST_PACKAGES=(libgtest-dev libgmock-dev libbenchmark-dev python3 g++-mingw-w64-x86-64-win32
               binutils-mingw-w64-x86-64 wine wine64 qemu-system-x86 busybox-static lintian
               man-db rpm rpmlint git "${ARCH_PACKAGES[@]}")
