#!/usr/bin/env bash
# Installs the cross toolchain, Wine, GoogleTest and the release tools (zip, the Windows
# Installer tools, faketime) from Debian's packages when any is missing.
set -euo pipefail
need=()
command -v cmake >/dev/null || need+=(cmake)
command -v i686-w64-mingw32-g++ >/dev/null || need+=(g++-mingw-w64-i686)
command -v x86_64-w64-mingw32-g++ >/dev/null || need+=(g++-mingw-w64-x86-64)
command -v x86_64-w64-mingw32-windres >/dev/null || need+=(binutils-mingw-w64-x86-64 binutils-mingw-w64-i686)
command -v widl >/dev/null || need+=(wine64-tools libwine-dev)
[ -f /usr/include/wine/wine/windows/oaidl.idl ] || need+=(libwine-dev)
command -v wine >/dev/null || need+=(wine)
[ -x /usr/lib/wine/wine64 ] || need+=(wine64)
dpkg -s wine32:i386 >/dev/null 2>&1 || need+=(wine32:i386)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
command -v flock >/dev/null || need+=(util-linux)
command -v zip >/dev/null || need+=(zip)
command -v unzip >/dev/null || need+=(unzip)
command -v wixl >/dev/null || need+=(wixl)
command -v msibuild >/dev/null || need+=(msitools)
command -v faketime >/dev/null || need+=(faketime)
# Where the kernel runs no 32-bit code, the 32-bit tier runs under qemu's user-mode emulation.
if [ "${ZU_EMULATE_32BIT:-}" = 1 ] || ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    command -v qemu-i386-static >/dev/null || need+=(qemu-user-static)
fi
[ ${#need[@]} -eq 0 ] && exit 0
echo "Installing: ${need[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages and not root; run as root or install: ${need[*]}" >&2
  exit 1
fi
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
export DEBIAN_FRONTEND=noninteractive
# A mirror in the middle of a sync serves one architecture's index older than the other's, and
# the two halves of Wine then cannot be installed together: try again a little later, and at
# last without the security suite, whose index is the one seen lagging.
install() { apt-get install -y -qq --no-install-recommends "$@" "${need[@]}" >/dev/null; }
for attempt in 1 2 3; do
    apt-get update -qq || true
    install && exit 0
    echo "install-deps: the package lists did not fit together (attempt $attempt); retrying" >&2
    sleep 20
done
main_only=$(mktemp -d)
trap 'rm -rf "$main_only"' EXIT
printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: bookworm bookworm-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
    >"$main_only/main.sources"
echo "install-deps: installing from the main suites alone" >&2
main_lists=(-o Dir::Etc::sourcelist=/dev/null -o Dir::Etc::sourceparts="$main_only")
apt-get "${main_lists[@]}" update -qq
install "${main_lists[@]}"
