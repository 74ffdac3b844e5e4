#!/usr/bin/env bash
# Checks the build tools: cmake, ninja, g++ 12 or newer and, with --tests, GoogleTest and
# python3 (the game tests' client). Missing Debian packages are installed when running as root;
# otherwise the script stops and names the packages to install. With --tests the opponents of
# the game tests (glaurung, phalanx) are installed too when they can be; without them those
# games are skipped.
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
    ((want_tests)) && ! command -v python3 >/dev/null 2>&1 && pkgs+=(python3)
    echo "${pkgs[@]}"
}

# The game tests' opponents: wanted, not required.
install_opponents() {
    ((want_tests)) || return 0
    local want=()
    [[ -x /usr/games/glaurung ]] || want+=(glaurung)
    [[ -x /usr/games/phalanx ]] || want+=(phalanx)
    ((${#want[@]})) || return 0
    if [[ $(id -u) -ne 0 ]]; then
        echo "Optional: the game tests also play ${want[*]} (sudo apt-get install -y ${want[*]})" >&2
        return 0
    fi
    echo "Installing the game tests' opponents: ${want[*]}"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${want[@]}" >/dev/null 2>&1 ||
        { apt-get update -q >/dev/null 2>&1 &&
            DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${want[@]}" >/dev/null 2>&1; } ||
        echo "Could not install ${want[*]}: those games are skipped" >&2
}

missing=$(missing_packages)
if [[ -z "$missing" ]]; then
    install_opponents
    exit 0
fi

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
install_opponents
