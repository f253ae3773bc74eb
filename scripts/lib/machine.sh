# Sourced by the scripts: makes sure this Debian machine has what building and testing need.
# As root it installs what is missing; otherwise it names what is missing and fails.

# Debian packages each purpose needs (dpkg names, with the architecture where it matters).
PACKAGES_BUILD="cmake g++ make libgtest-dev libgmock-dev python3 g++-mingw-w64-i686-posix"
PACKAGES_WINE="wine wine32:i386 wine64 xvfb xdotool locales wixl msitools"
PACKAGES_CHECKS="clang clang-tidy clang-format libclang-rt-14-dev"
PACKAGES_RELEASE="osslsigncode openssl python3-pefile"

is_root() { [ "$(id -u)" = 0 ]; }

missing_packages() {
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q '^install ok installed$' ||
            printf '%s\n' "$package"
    done
}

# A mirror caught mid-sync fails one index for a minute or so: try again, then go on with what
# was fetched; an install from it fails plainly if a package is really not to be had.
apt_update() {
    apt-get update -q >&2 && return 0
    sleep "${APT_RETRY_SECONDS:-20}"
    apt-get update -q >&2 && return 0
    echo "Some package index could not be fetched; going on with what was." >&2
    return 1
}

# Installs with apt-get's own words; names what is still missing where that fails.
apt_install() {
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$@" >&2 && return 0
    local wanted=() word after_option=
    for word in "$@"; do
        [ "${word#-}" = "$word" ] && [ "$after_option" != -t ] && wanted+=("$word")
        after_option=$word
    done
    echo "Could not be had: $(missing_packages "${wanted[@]}" | tr '\n' ' ')" >&2
    return 1
}

ensure_packages() {
    local missing
    missing=$(missing_packages "$@")
    [ -z "$missing" ] && return 0
    if ! is_root; then
        echo "Missing Debian packages (run this script as root to install them):" >&2
        printf '  %s\n' $missing >&2
        return 1
    fi
    if printf '%s\n' $missing | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    echo "Installing: $(echo $missing)" >&2
    if apt_update; then
        apt_install $missing
        return
    fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q $missing >&2 && return 0
    # An update suite whose index failed for one architecture only leaves the other's libraries
    # ahead of it, and 32-bit and 64-bit copies must be the same version: the release's own
    # versions fit together.
    echo "Installing from $(os_codename)'s own versions instead." >&2
    apt_install -t "$(os_codename)" $missing
}

# Some virtual machines run 64-bit code only: the kernel refuses 32-bit Linux programs, and with
# them Wine's 32-bit side. There, 32-bit Linux programs are run by qemu's user-mode emulator,
# registered for them with the kernel. qemu older than 8 lacks what Wine's memory layout needs,
# so on Debian 12 it comes from bookworm-backports.
# The archive this machine's own package sources use for a suite, so that a build machine that
# reaches only a local mirror keeps using it. Reads deb822 .sources files and one-line lists
# below APT_ETC (default /etc/apt); prints nothing when no source names the suite.
archive_for_suite() {
    local suite=$1 etc=${APT_ETC:-/etc/apt}
    {
        { cat "$etc"/sources.list.d/*.sources 2>/dev/null || true; } | awk -v suite="$suite" '
            BEGIN { RS = "" }
            {
                uri = ""; suites = ""; types = ""
                n = split($0, lines, "\n")
                for (i = 1; i <= n; i++) {
                    line = lines[i]
                    if (sub(/^URIs:[ \t]*/, "", line)) { split(line, u, /[ \t]+/); uri = u[1] }
                    else if (sub(/^Suites:[ \t]*/, "", line)) suites = " " line " "
                    else if (sub(/^Types:[ \t]*/, "", line)) types = " " line " "
                }
                if (uri != "" && index(types, " deb ") && index(suites, " " suite " ")) print uri
            }'
        { cat "$etc"/sources.list "$etc"/sources.list.d/*.list 2>/dev/null || true; } |
            sed -n -E "s/^deb[[:space:]]+(\[[^]]*\][[:space:]]+)?([^[:space:]]+)[[:space:]]+$suite[[:space:]].*/\2/p"
    } | sed -n 1p
}

os_codename() { . /etc/os-release && echo "$VERSION_CODENAME"; }

install_qemu_i386() {
    [ "$(os_codename)" = bookworm ] || { apt_install qemu-user-static; return; }
    local archive
    archive=$(archive_for_suite bookworm)
    [ -n "$archive" ] || {
        echo "No package source for bookworm found to add bookworm-backports to." >&2
        return 1
    }
    echo "deb $archive bookworm-backports main" >"${APT_ETC:-/etc/apt}/sources.list.d/bookworm-backports.list"
    apt_update || true
    apt_install -t bookworm-backports qemu-user-static
}

i386_runs() { /lib/ld-linux.so.2 --version >/dev/null 2>&1; }

qemu_i386_usable() {
    command -v qemu-i386 >/dev/null 2>&1 &&
        [ "$(qemu-i386 --version | sed -n 's/^qemu-i386 version \([0-9]*\).*/\1/p')" -ge 8 ] 2>/dev/null
}

ensure_i386_execution() {
    i386_runs && return 0
    if ! is_root; then
        echo "This machine cannot run 32-bit Linux programs, which Wine needs for a 32-bit" >&2
        echo "program; run this script as root to set up qemu-i386 (8 or later) for them." >&2
        return 1
    fi
    qemu_i386_usable || install_qemu_i386 || return 1
    [ -d /proc/sys/fs/binfmt_misc ] && [ -e /proc/sys/fs/binfmt_misc/register ] ||
        mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && echo -1 >/proc/sys/fs/binfmt_misc/qemu-i386
    local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    echo ":qemu-i386:M::$magic:$mask:$(readlink -f "$(command -v qemu-i386)"):F" \
        >/proc/sys/fs/binfmt_misc/register
    i386_runs || { echo "32-bit Linux programs still do not run; Wine cannot start." >&2; return 1; }
    echo "32-bit Linux programs run through $(qemu-i386 --version | head -n 1)." >&2
}

ensure_build_machine() { ensure_packages $PACKAGES_BUILD; }

ensure_wine_machine() {
    ensure_packages $PACKAGES_BUILD $PACKAGES_WINE && ensure_i386_execution
}

# The real program, built with what running it under Wine needs.
build_program_for_wine() {
    ensure_wine_machine
    cmake --preset windows-x86 >/dev/null
    cmake --build --preset windows-x86 -j"$(nproc)" >/dev/null
}
