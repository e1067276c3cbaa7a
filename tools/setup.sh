#!/bin/sh
# Installs what building and testing tarnel needs on Debian 12. Idempotent.
#   tools/setup.sh          compilers, libraries and test tools
#   tools/setup.sh --armhf  also the 32-bit ARM cross toolchain, armhf libraries
#                           and the user-mode emulator that runs the unit tests
# Needs root; re-runs itself through sudo when that is at hand.
set -eu

if [ "$(id -u)" != 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
        exec sudo "$0" "$@"
    fi
    echo "setup.sh: run as root" >&2
    exit 1
fi

armhf=0
for arg in "$@"; do
    case "$arg" in
    --armhf) armhf=1 ;;
    *) echo "setup.sh: unknown option $arg" >&2; exit 2 ;;
    esac
done

export DEBIAN_FRONTEND=noninteractive

# Build, unit tests, the tools of the end-to-end tests, fuzzing and benchmarks,
# and those of the Debian packages, their manual page and lintian (tools/package.sh).
packages="cmake make g++ pkg-config libjsoncpp-dev libinih-dev libgtest-dev googletest
python3 python3-pexpect tmux python3-gammu clang libclang-rt-14-dev libbenchmark-dev
dpkg-dev file man-db groff-base lintian"

if [ "$armhf" = 1 ]; then
    dpkg --add-architecture armhf
    packages="$packages crossbuild-essential-armhf qemu-user
libjsoncpp-dev:armhf libinih-dev:armhf libgtest-dev:armhf"
fi

apt-get update
# shellcheck disable=SC2086 # word splitting of the list is wanted
apt-get install -y --no-install-recommends $packages
