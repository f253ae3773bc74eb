#!/usr/bin/env bash
# The set-up scripts add a suite on the archive that the machine's own package sources use, so a
# build machine behind a local mirror keeps it. Each case lays out sources and wants one answer.
set -euo pipefail
. "$(dirname "$0")/../../scripts/lib/machine.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

check() { # check NAME WANTED: APT_ETC is $work/NAME
    local got
    got=$(APT_ETC="$work/$1" archive_for_suite bookworm)
    if [ "$got" = "$2" ]; then echo "ok   $1"; else
        echo "FAIL $1: got '$got', wanted '$2'"
        failures=$((failures + 1))
    fi
}

source_file() { # source_file CASE FILE, text on standard input
    mkdir -p "$work/$1/sources.list.d"
    cat >"$work/$1/$2"
}

source_file deb822 sources.list.d/debian.sources <<'END'
Types: deb
URIs: http://mirror.example/debian-security
Suites: bookworm-security
Components: main

Types: deb deb-src
# a comment inside the stanza
URIs: http://mirror.example/debian http://second.example/debian
Suites: bookworm bookworm-updates
Components: main
END
check deb822 http://mirror.example/debian

source_file one_line sources.list <<'END'
deb-src http://source-only.example/debian bookworm main
deb [arch=amd64 signed-by=/k.gpg] https://mirror.example/debian bookworm main contrib
END
check one_line https://mirror.example/debian

source_file sources_only sources.list.d/src.sources <<'END'
Types: deb-src
URIs: http://source-only.example/debian
Suites: bookworm
END
check sources_only ""
check nothing_at_all ""
[ "$failures" = 0 ]
