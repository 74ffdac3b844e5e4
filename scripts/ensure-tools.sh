#!/usr/bin/env bash
# Checks the build tools: cmake, ninja, g++ 12 or newer and, with --tests, GoogleTest.
# Missing Debian packages are installed when running as root; otherwise the script stops
# and names the packages to install.
set -euo pipefail

want_tests=0
[[ "${1:-}" == "--tests" ]] && want_tests=1

missing_packages() {
    local pkgs=()
    command -v cmake >/dev/null 2>&1 || pkgs+=(cmake)
    command -v ninja >/dev/null 2>&1 || pkgs+=(ninja-build)
    if ! command -v g++ >/dev/null 2>&1; then
        pkgs+=(g++)
    elif (($(g++ -dumpversion | cut -d. -f1) < 12)); then
        pkgs+=(g++)
    fi
    if ((want_tests)) && [[ ! -f /usr/include/gtest/gtest.h ]] &&
        ! dpkg-query -W -f='${Status}' libgtest-dev 2>/dev/null | grep -q 'install ok installed'; then
        pkgs+=(libgtest-dev)
    fi
    echo "${pkgs[@]}"
}

missing=$(missing_packages)
[[ -z "$missing" ]] && exit 0

if [[ $(id -u) -ne 0 ]]; then
    echo "Missing build tools. Install them with:" >&2
    echo "    sudo apt-get install -y $missing" >&2
    exit 1
fi

echo "Installing: $missing"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
# shellcheck disable=SC2086
apt-get install -y -q $missing

missing=$(missing_packages)
if [[ -n "$missing" ]]; then
    echo "Still missing after install: $missing (g++ must be version 12 or newer)" >&2
    exit 1
fi
