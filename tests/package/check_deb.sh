#!/usr/bin/env bash
# Builds the Debian package, extracts it and runs what it holds; lintian must find no error.
set -euo pipefail
# The entries below are written with a point, whatever locale runs the tests.
export LC_ALL=C.UTF-8
source_dir=${1:?usage: check_deb.sh SOURCE-DIR}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$source_dir/scripts/package" "$scratch/dist" >/dev/null
deb=$(ls "$scratch"/dist/quarvet_*_*.deb)
[ "$(basename "$deb")" = "quarvet_1.0.0_$(dpkg --print-architecture).deb" ] ||
    fail "package named $(basename "$deb")"
dpkg-deb -x "$deb" "$scratch/root"
version=$("$scratch/root/usr/bin/quarvet-cli" --version)
[ "$version" = "Quarvet Basic 1.0.0" ] || fail "extracted quarvet-cli says: $version"
codes=$("$scratch/root/usr/bin/quarvet-cli" calc 0 100 0.5 99.0)
[ "$codes" = "27A8 FE04" ] || fail "extracted quarvet-cli calculates: $codes"
[ -f "$scratch/root/etc/xdg/Quarvet/registry.reg" ] || fail "no stand-in registry in /etc/xdg"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for library in libqt6widgets6 libqt6svg6 libqt6sql6 libqt6sql6-sqlite fonts-liberation2; do
    [[ "$depends" == *"$library"* ]] || fail "Depends lacks $library"
done
dpkg-deb -f "$deb" Recommends | grep -q hardinfo || fail "Recommends lacks hardinfo"
report=$(lintian --allow-root "$deb" 2>&1 || true)
echo "$report"
if grep -q '^E:' <<<"$report"; then
    fail "lintian reports errors"
fi
echo "1 passed, 0 failed"
