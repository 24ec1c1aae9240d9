#!/usr/bin/env bash
# Installs the Debian packages the project needs, skipping what is already there.
#
#   scripts/install-deps.sh          what building the module and the tool and running them need
#   scripts/install-deps.sh --test   that, and what the tests, the Windows build, the fuzz
#                                    targets, the benchmarks and the Debian packages need
set -euo pipefail

# Building and running: the release build of scripts/run.sh (no tests, no benchmarks).
packages=(
    cmake make g++
    libboost-dev nlohmann-json3-dev libcli11-dev
    # HTTPS to remote endpoints, and the certificates libcurl hands over read with its TLS
    # library.
    libcurl4-openssl-dev libssl-dev
    # Answers a service compresses unasked (zlib; libcurl's own dependency on Linux).
    zlib1g-dev
)

if [ "${1:-}" = --test ]; then
    packages+=(
        binutils
        libgtest-dev libgmock-dev googletest
        # The benchmarks (bench/) and the instruction counts bench/run.py takes by default.
        libbenchmark-dev valgrind
        # Real XML and JSON parsers that check what the tool writes.
        libxml2-utils jq
        python3-jsonschema
        # promtool checks fleet export.
        prometheus
        # The test servers (Python's standard library, python3-cryptography for their
        # throw-away certificates) and real clients that check them.
        python3 python3-cryptography openssl curl redfishtool python3-sushy
        # A real WBEM client that checks the CIM test server.
        sblim-wbemcli
        # The Windows x64 build and the 64-bit Wine that runs its tests, and zlib for it.
        g++-mingw-w64-x86-64-posix wine64 libz-mingw-w64-dev
        # The Debian packages: the manual written from its source (scdoc), read back and
        # checked (man, mandoc), the dependencies dpkg-shlibdeps finds (CPack runs it on what
        # file(1) says is a binary), and Debian's own checker of packages.
        scdoc man-db mandoc dpkg-dev file lintian
        # The fuzz targets: Debian's clang and its libFuzzer runtime (scripts/fuzz.sh).
        clang-14 libclang-rt-14-dev
    )

    # The tests reach their loopback servers by the name localhost as well as by address. A
    # minimal root (a container, a debootstrap) may have no /etc/hosts to say so.
    if ! getent hosts localhost >/dev/null; then
        echo "Adding localhost to /etc/hosts"
        printf '127.0.0.1\tlocalhost\n::1\tlocalhost ip6-localhost ip6-loopback\n' |
            if [ "$(id -u)" -ne 0 ]; then sudo tee -a /etc/hosts >/dev/null; else cat >>/etc/hosts; fi
    fi
elif [ $# -gt 0 ]; then
    echo "usage: $0 [--test]" >&2
    exit 2
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed"; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
if [ "$(id -u)" -ne 0 ]; then
    as_root=(sudo)
fi
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
