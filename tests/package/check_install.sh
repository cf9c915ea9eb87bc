#!/usr/bin/env bash
# Installs the build into a scratch folder and checks what lands there: the desktop entry and
# the metainfo file validate, the manual pages render without warnings, the installed
# quarvet-cli runs.
set -euo pipefail
# The entries below are written with a point, whatever locale runs the tests.
export LC_ALL=C.UTF-8
build=${1:?usage: check_install.sh BUILD-DIR}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
DESTDIR="$scratch" cmake --install "$build" >/dev/null
prefix=$(find "$scratch" -path '*/bin/quarvet-cli' -printf '%h\n' | head -1)
prefix=${prefix%/bin}
fail() { echo "FAIL: $*" >&2; exit 1; }

for file in bin/quarvet bin/quarvet-cli share/applications/quarvet.desktop \
            share/icons/hicolor/scalable/apps/quarvet.svg \
            share/metainfo/example.quarvet.basic.metainfo.xml \
            share/man/man1/quarvet.1.gz share/man/man1/quarvet-cli.1.gz \
            share/doc/quarvet/copyright share/doc/quarvet/changelog.gz; do
    [ -e "$prefix/$file" ] || fail "not installed: $file"
done
find "$scratch" -path '*/xdg/Quarvet/registry.reg' | grep -q . || fail "no stand-in registry file"

desktop-file-validate "$prefix/share/applications/quarvet.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$prefix/share/metainfo/example.quarvet.basic.metainfo.xml" \
    >/dev/null || fail "metainfo file"
for page in quarvet quarvet-cli; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "manual page $page: $warnings"
    LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$prefix/share/man/man1/$page.1.gz" 2>/dev/null |
        grep -q 'EXIT STATUS\|FILES' || fail "manual page $page renders no sections"
done
version=$("$prefix/bin/quarvet-cli" --version)
[ "$version" = "Quarvet Basic 1.0.0" ] || fail "installed quarvet-cli says: $version"
codes=$("$prefix/bin/quarvet-cli" calc 0 100 0.5 99.0)
[ "$codes" = "27A8 FE04" ] || fail "installed quarvet-cli calculates: $codes"
echo "1 passed, 0 failed"
