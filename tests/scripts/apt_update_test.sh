#!/usr/bin/env bash
# The set-up scripts go on where a package index cannot be fetched (a mirror mid-sync), and say
# what could not be had. A stand-in apt-get on PATH fails its update for one index; a stand-in
# dpkg-query knows what "was installed".
set -euo pipefail
. "$(dirname "$0")/../../scripts/lib/machine.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
mkdir -p "$work/bin" "$work/etc/sources.list.d"
cat >"$work/bin/apt-get" <<'END'
#!/bin/sh
echo "apt-get $*" >>"$STANDIN/calls"
case "$1" in
update) echo "E: Failed to fetch .../binary-i386/Packages.xz  File has unexpected size"; exit 100 ;;
install) for word in "$@"; do
             case "$word" in -*|install|bookworm*) ;; unobtainable) exit 100 ;;
             *) touch "$STANDIN/installed-$word" ;; esac
         done ;;
esac
END
cat >"$work/bin/dpkg-query" <<'END'
#!/bin/sh
for last; do :; done
[ -e "$STANDIN/installed-$last" ] && echo 'install ok installed'
END
chmod +x "$work/bin/"*
export STANDIN=$work PATH="$work/bin:$PATH" APT_RETRY_SECONDS=0 APT_ETC=$work/etc
is_root() { true; }
os_codename() { echo bookworm; }
echo "deb http://mirror.example/debian bookworm main" >"$work/etc/sources.list"

check() { # check NAME WANTED-STATUS WANTED-TEXT-IN-STDERR -- COMMAND...
    local name=$1 status=$2 text=$3 got=0
    shift 4
    rm -f "$work/calls" "$work"/installed-*
    "$@" 2>"$work/err" || got=$?
    if [ "$got" = "$status" ] && grep -qF "$text" "$work/err" && grep -q '^apt-get install' "$work/calls"; then
        echo "ok   $name"
    else
        echo "FAIL $name: status $got, wanted $status with '$text'; said:"
        sed 's/^/    /' "$work/err" "$work/calls"
        failures=$((failures + 1))
    fi
}

check "update fails, install goes on" 0 "going on with what was" -- ensure_packages wixl
check "what could not be had is named" 1 "Could not be had: unobtainable" -- \
    ensure_packages wixl unobtainable
check "backports' update fails, qemu goes on" 0 "going on with what was" -- \
    install_qemu_i386
echo "$((3 - failures)) passed, $failures failed"
[ "$failures" = 0 ]
