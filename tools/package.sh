#!/bin/bash
# Builds the Debian packages and checks them:
#   tarnel_<version>_amd64.deb         the programs, the manual, examples, completion
#   tarnel-modemsim_<version>_all.deb  the modem simulator (needs python3)
#   tarnel_<version>_armhf.deb         the programs, from the 32-bit ARM cross build
# (<version> is the project's version and the Debian revision, 1.33-1.)
# Release builds without the tests, with Debian's hardening flags, installed
# under /usr; lintian checks all three packages (any error or warning fails;
# overrides, with their reasons, are in packaging/lintian). Then, as root,
# installs the native packages with dpkg, runs the installed program, renders
# its manual page with groff's warnings on (any warning fails), and inspects
# the armhf package: architecture, dependencies, contents, 32-bit ARM programs.
# Needs `tools/setup.sh --armhf` first (or plain `tools/setup.sh` with --no-armhf).
#   tools/package.sh [--no-armhf] [--no-install]
#   TARNEL_PKG_BUILD  build folder (default: build-deb); the cross build is $TARNEL_PKG_BUILD-armhf
#   TARNEL_JOBS       parallel compile jobs (default: 2)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${TARNEL_PKG_BUILD:-$root/build-deb}
build_armhf=$build-armhf
jobs=${TARNEL_JOBS:-2}
armhf=1
install=1
for arg in "$@"; do
    case "$arg" in
    --no-armhf) armhf=0 ;;
    --no-install) install=0 ;;
    *) echo "package.sh: unknown option $arg" >&2; exit 2 ;;
    esac
done
if [ "$install" = 1 ] && [ "$(id -u)" != 0 ]; then
    echo "package.sh: installing the package needs root (or use --no-install)" >&2
    exit 1
fi

fail() {
    echo "package.sh: $*" >&2
    exit 1
}

# The version comes from the project, so the file names follow it.
upstream=$(sed -n 's/^project(tarnel VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
revision=$(sed -n 's/^set(TARNEL_DEB_REVISION \([0-9]*\))/\1/p' "$root/CMakeLists.txt")
[ -n "$upstream" ] && [ -n "$revision" ] || fail "no version or Debian revision in CMakeLists.txt"
version=$upstream-$revision

# Debian's build flags with every hardening feature (stack protector,
# fortified functions, read-only relocations bound at start).
cd "$root"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)

# configure_and_pack BUILD_DIR [CMAKE_ARGS...]
configure_and_pack() {
    local dir=$1
    shift
    cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DTARNEL_TESTS=OFF \
        -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" "$@"
    cmake --build "$dir" -j"$jobs"
    rm -f "$dir"/*.deb
    (cd "$dir" && cpack -G DEB)
}

echo "=== Native packages ($build)"
configure_and_pack "$build"
deb=$build/tarnel_${version}_$(dpkg --print-architecture).deb
deb_sim=$build/tarnel-modemsim_${version}_all.deb
[ -f "$deb" ] || fail "missing $deb"
[ -f "$deb_sim" ] || fail "missing $deb_sim"

if [ "$armhf" = 1 ]; then
    echo "=== armhf package ($build_armhf)"
    configure_and_pack "$build_armhf" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-armhf.cmake"
    deb_armhf=$build_armhf/tarnel_${version}_armhf.deb
    [ -f "$deb_armhf" ] || fail "missing $deb_armhf"
fi

# check_program_package DEB ARCH: control fields and contents every build shares.
check_program_package() {
    local file=$1 arch=$2 field contents
    echo "=== dpkg-deb --info $(basename "$file")"
    dpkg-deb --info "$file"
    echo "=== dpkg-deb --contents $(basename "$file")"
    contents=$(dpkg-deb --contents "$file")
    echo "$contents"
    [ "$(dpkg-deb --field "$file" Architecture)" = "$arch" ] || fail "$file: architecture is not $arch"
    [ "$(dpkg-deb --field "$file" Version)" = "$version" ] || fail "$file: version is not $version"
    field=$(dpkg-deb --field "$file" Depends)
    for lib in libjsoncpp libinireader libc6; do
        grep -q "$lib" <<< "$field" || fail "$file: no dependency on $lib ($field)"
    done
    for path in ./usr/bin/tarnel ./usr/bin/tarnel-zh ./usr/share/man/man1/tarnel.1.gz \
        ./usr/share/doc/tarnel/copyright ./usr/share/doc/tarnel/changelog.Debian.gz \
        ./usr/share/doc/tarnel/examples/set.ini ./usr/share/doc/tarnel/examples/tarnel-readclear.cron \
        ./usr/share/doc/tarnel/examples/tarnel-readclear.service ./usr/share/doc/tarnel/examples/tarnel-readclear.timer \
        ./usr/share/doc/tarnel/examples/tarnel-watch.service \
        ./usr/share/bash-completion/completions/tarnel ./usr/share/bash-completion/completions/tarnel-zh; do
        grep -q " $path\( \|$\)" <<< "$contents" || fail "$file: $path missing"
    done
}

# check_lintian DEB: lintian finds no error and no warning (informational
# tags are shown, not fatal).
check_lintian() {
    echo "=== lintian $(basename "$1")"
    lintian --fail-on error,warning --display-info "$1" || fail "lintian: $1"
}

check_program_package "$deb" "$(dpkg --print-architecture)"
echo "=== dpkg-deb --info $(basename "$deb_sim")"
dpkg-deb --info "$deb_sim"
dpkg-deb --contents "$deb_sim"
grep -q python3 <<< "$(dpkg-deb --field "$deb_sim" Depends)" || fail "$deb_sim: no dependency on python3"
for path in ./usr/share/doc/tarnel-modemsim/copyright ./usr/share/doc/tarnel-modemsim/changelog.Debian.gz \
    ./usr/share/doc/tarnel-modemsim/examples/modems.json; do
    grep -q " $path\( \|$\)" <<< "$(dpkg-deb --contents "$deb_sim")" || fail "$deb_sim: $path missing"
done
check_lintian "$deb"
check_lintian "$deb_sim"

if [ "$armhf" = 1 ]; then
    check_program_package "$deb_armhf" armhf
    check_lintian "$deb_armhf"
    unpacked=$(mktemp -d)
    trap 'rm -rf "$unpacked"' EXIT
    dpkg-deb --extract "$deb_armhf" "$unpacked"
    for program in tarnel tarnel-zh; do
        description=$(file -b "$unpacked/usr/bin/$program")
        echo "$program: $description"
        grep -q "ELF 32-bit LSB.*ARM" <<< "$description" || fail "armhf $program is no 32-bit ARM program"
        grep -q "Machine:.*ARM" <<< "$(readelf -h "$unpacked/usr/bin/$program")" ||
            fail "armhf $program: wrong machine"
    done
    # The packaged program itself, under the emulator the cross tests use.
    if command -v qemu-arm > /dev/null 2>&1; then
        grep -q "^VER $upstream, " <<< "$(qemu-arm -L /usr/arm-linux-gnueabihf "$unpacked/usr/bin/tarnel" version)" ||
            fail "the armhf program does not run under qemu-arm"
    fi
fi

if [ "$install" = 0 ]; then
    echo "=== Packages (not installed): $deb $deb_sim ${deb_armhf:-}"
    exit 0
fi

echo "=== Installing $(basename "$deb") and $(basename "$deb_sim")"
# Slim Debian images tell dpkg to leave manual pages out; ours go in anyway.
dpkg --path-include='/usr/share/man/man1/tarnel*' -i "$deb" "$deb_sim"

echo "=== /usr/bin/tarnel help"
help=$(/usr/bin/tarnel help)
echo "$help"
grep -q "view help: tarnel help" <<< "$help" || fail "tarnel help printed no help"
grep -q "^VER $upstream, " <<< "$(/usr/bin/tarnel version)" || fail "tarnel version is not $upstream"
grep -q "^$upstream " <<< "$(/usr/bin/tarnel-zh version)" || fail "tarnel-zh version is not $upstream"
# The installed completion offers the sub-commands of sms.
completion=$(bash -c 'source /usr/share/bash-completion/completions/tarnel-zh
    COMP_WORDS=(tarnel-zh sms sr); COMP_CWORD=2; _tarnel; echo "${COMPREPLY[*]}"')
[ "$completion" = "sread sreadclear" ] || fail "bash completion of tarnel-zh sms sr gave: $completion"

# check_manual NAME: the installed page is found by man, renders without a
# single groff warning, and has a NAME line that whatis can index.
check_manual() {
    local name=$1 page warnings
    page=$(man -w "$name") || fail "man does not find $name"
    echo "=== man -l $page"
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings=w -l "$page" 2>&1 > /dev/null)
    [ -z "$warnings" ] || fail "$page renders with warnings: $warnings"
    grep -q "^SYNOPSIS" <<< "$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page")" || fail "$page renders no SYNOPSIS"
    lexgrog "$page" || fail "lexgrog cannot read the NAME of $page"
}
check_manual tarnel
check_manual tarnel-zh
check_manual tarnel-modemsim

# The installed simulator finds its ATI samples beside it and the installed
# program reads a message from it. Needs a private mount namespace, which
# some containers refuse.
if unshare -m true 2> /dev/null; then
    echo "=== Installed simulator and program"
    scratch=$(mktemp -d)
    cat > "$scratch/modems.json" << 'JSON'
[{"path": "/dev/ttyUSB0", "model": "CPhone_EC20F",
  "storage": {"SM": [{"from": "8613912345678", "text": "Installed", "time": "24-03-01 09:15:00"}]}}]
JSON
    # A journal of its own: the machine's journalled messages are not this check's to report.
    printf '[comm]\ndef=1\ntime1=20\njournaldir=%s/journal\n' "$scratch" > "$scratch/set.ini"
    out=$(cd "$scratch" && tarnel-modemsim --config modems.json --isolate -- /usr/bin/tarnel sms sread)
    rm -rf "$scratch"
    echo "$out"
    grep -q '"text":"Installed"' <<< "$out" || fail "the installed program did not read the simulated message"
else
    echo "=== Installed simulator: skipped (no private mount namespace here)"
fi

echo "=== Packages: $deb $deb_sim ${deb_armhf:-}"
