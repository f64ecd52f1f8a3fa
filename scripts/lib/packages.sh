# Installs the Debian packages that the build and the tests need, when some
# are missing. Sourced by scripts/test and scripts/demo.

# Tools for the Windows cross build and for running the result under Wine
# (the Wine tests read logs and prefixes with perl scripts; the sample
# drivers get their PE checksum from a python script).
HALLIMOR_WINDOWS_PACKAGES=(cmake ninja-build g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 wine64 perl python3)
# Tools for the host build and its tests: OpenSSL's libcrypto for the
# catalog checks and the signing tool, osslsigncode as the independent
# reader of the sample's catalogs, python3-cryptography for renewing the
# sample's test signer (sample/generate.py).
HALLIMOR_HOST_PACKAGES=(cmake ninja-build g++ googletest libgtest-dev libgmock-dev libssl-dev osslsigncode
    python3-cryptography)

hallimor_package_installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

# hallimor_ensure_packages PACKAGE...: installs those not yet installed.
hallimor_ensure_packages() {
    local missing=() p
    for p in "$@"; do
        hallimor_package_installed "$p" || missing+=("$p")
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    echo "== Installing missing packages: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then
            sudo=(sudo)
        else
            echo "error: packages missing (${missing[*]}) and not running as root" >&2
            return 1
        fi
    fi
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -q || return 1
    "${sudo[@]}" apt-get install -y -q "${missing[@]}" || return 1
}
