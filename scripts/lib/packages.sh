# Installs the Debian packages named as arguments when any is missing. Sourced by the
# entry-point scripts; needs root and apt-get to install, and says what to do otherwise.

quarvet_missing_packages() {
    local package missing=()
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    [ "${#missing[@]}" -eq 0 ] || printf '%s\n' "${missing[@]}"
}

quarvet_ensure_packages() {
    local missing
    if ! command -v dpkg-query >/dev/null 2>&1; then
        echo "This script installs with Debian's packages; install these by hand: $*" >&2
        return 1
    fi
    mapfile -t missing < <(quarvet_missing_packages "$@")
    [ "${#missing[@]}" -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ] || ! command -v apt-get >/dev/null 2>&1; then
        echo "Missing packages: ${missing[*]}" >&2
        echo "Install them first, as root:  apt-get install ${missing[*]}" >&2
        return 1
    fi
    echo "Installing: ${missing[*]}" >&2
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q >&2 || { echo "apt-get update failed" >&2; return 1; }
    apt-get install -y -q --no-install-recommends "${missing[@]}" >&2 ||
        { echo "apt-get install failed for: ${missing[*]}" >&2; return 1; }
}

# What building the program needs on Debian 12.
QUARVET_BUILD_PACKAGES=(g++ cmake ninja-build qt6-base-dev qt6-svg-dev libgl-dev libqt6sql6-sqlite libsqlite3-dev
                        libqt6sql6-psql libboost-math-dev libpoppler-qt6-dev
                        fonts-liberation2 libpq-dev libpam0g-dev libqrencode-dev libxmlsec1-dev
                        libxmlsec1-nss)
# What building the Debian package needs besides: dpkg-shlibdeps, and file to find binaries.
QUARVET_PACKAGE_PACKAGES=(dpkg-dev file)
# What the tests need besides: a real X server for the focus and shortcut tests, the
# cross compiler and Wine that build and run the Windows registry code, poppler's tools
# that read the certificates back, and a D-Bus session with the accessibility bus and
# Debian's Python with pyatspi, which read the windows as a screen reader does; iproute2's ip,
# which gives the shared-database example a network of its own; clang-format for the check
# that every source file is formatted; faketime, which sets a workstation's clock back;
# Python's icalendar, a calendar program's reading of the due instruments' calendar file;
# xmllint, which holds the Digital Calibration Certificate to its published schema, with the
# XML signature's schema from Debian's pysaml2 for a signed one; xmlsec1, which checks its
# signature.
QUARVET_TEST_PACKAGES=(xvfb xauth g++-mingw-w64-x86-64-posix wine64 "${QUARVET_PACKAGE_PACKAGES[@]}"
                       desktop-file-utils appstream lintian man-db groff-base poppler-utils faketime
                       dbus-daemon at-spi2-core python3 python3-pyatspi gir1.2-atspi-2.0
                       iproute2 clang-format python3-icalendar libxml2-utils xmlsec1
                       python3-pysaml2)
# The fuzzers: clang with its libFuzzer and sanitizer runtimes.
QUARVET_FUZZ_PACKAGES=(clang libclang-rt-14-dev)
# The benchmarks: Google Benchmark, Xvfb for the start-up measurement, mawk and GNU time for
# the command-line comparison, and sqlite3 for the floor of the record listings.
QUARVET_BENCH_PACKAGES=(libbenchmark-dev xvfb xauth mawk time sqlite3)
# The screenshots: the real windows drawn on Xvfb.
QUARVET_SCREENSHOT_PACKAGES=(xvfb xauth)
# The record tests run a PostgreSQL server of their own, reached over TLS with a certificate
# openssl makes; the signing tests ask a PAM stack of their own (pam_wrapper and its
# pam_matrix) for a login's password, make keys with openssl and NSS's tools, check signed
# certificates with pdfsig and read their QR codes with zbarimg.
QUARVET_DATABASE_TEST_PACKAGES=(postgresql openssl libpam-wrapper libnss3-tools zbar-tools)

# Generates each UTF-8 locale named (de_DE.UTF-8) that glibc does not have yet, as a fresh
# machine lacks a desktop's: a program under a locale that is missing falls back to the C
# locale, and would not run as the user's programs do.
quarvet_ensure_locale() {
    local name
    for name in "$@"; do
        quarvet_ensure_one_locale "$name" || return 1
    done
}

quarvet_ensure_one_locale() {
    local name=$1
    case "$name" in "" | C | POSIX | C.UTF-8 | C.utf8 | C.utf-8 | C.UTF8) return 0 ;; esac
    # grep reads the whole list (no -q): under pipefail an early exit would kill `locale -a`
    # with SIGPIPE on a machine with many locales, and read as "not there".
    quarvet_has_locale "$name" && return 0
    if ! [[ "$name" =~ ^([a-z]{2,3}_[A-Z]{2})\.([Uu][Tt][Ff]-?8)(@[a-z]+)?$ ]]; then
        echo "The locale $name is not on this machine, and only a UTF-8 one (de_DE.UTF-8) can be" \
             "made here; use one that is (locale -a), or C.UTF-8" >&2
        return 1
    fi
    local base=${BASH_REMATCH[1]} modifier=${BASH_REMATCH[3]}
    local made="$base.UTF-8$modifier"
    if [ "$(id -u)" -ne 0 ]; then
        echo "The locale $name is not generated. Generate it first, as root:" >&2
        echo "  apt-get install locales && localedef -i $base$modifier -c -f UTF-8 $made" >&2
        return 1
    fi
    quarvet_ensure_packages locales || return 1
    if [ ! -f "/usr/share/i18n/locales/$base$modifier" ]; then
        echo "There is no locale $base$modifier: glibc knows no such language and country" >&2
        return 1
    fi
    # localedef adds the one locale to the archive; locale-gen would rebuild the archive from
    # /etc/locale.gen alone and drop every locale made otherwise, the caller's among them.
    echo "Generating the locale $made" >&2
    localedef -i "$base$modifier" -c -f UTF-8 "$made" >&2 ||
        quarvet_has_locale "$made" || { echo "localedef failed for $made" >&2; return 1; }
    quarvet_has_locale "$made" || { echo "localedef did not make $made" >&2; return 1; }
}

# Whether glibc has the locale NAME, however its codeset is spelt (UTF-8, utf8).
quarvet_has_locale() {
    local name=$1 normal
    normal=$(sed -E 's/\.[Uu][Tt][Ff]-?8/.utf8/' <<<"$name")
    locale -a 2>/dev/null | grep -xF -e "$name" -e "$normal" >/dev/null
}
