#!/bin/sh
# Installs the Debian packages Vantrel needs (once) and builds it into ./build.
# Usage: scripts/bootstrap.sh [extra cmake options]
set -eu
cd "$(dirname "$0")/.."

packages="build-essential cmake pkg-config libgtest-dev libgmock-dev libbenchmark-dev \
libcli11-dev libplist-dev libplist++-dev qt6-base-dev faketime"

missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    apt-get install -y --no-install-recommends $missing
fi

build=${VANTREL_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build "$build" -j"$(nproc)"
