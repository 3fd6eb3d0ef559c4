#!/bin/sh
# Installs the Debian packages Vantrel needs (once) and builds it into ./build.
# Usage: scripts/bootstrap.sh [extra cmake options]
set -eu
cd "$(dirname "$0")/.."

packages="build-essential cmake pkg-config libgtest-dev libgmock-dev libbenchmark-dev \
libcli11-dev libplist-dev qt6-base-dev faketime dbus-daemon"

scripts/install-packages.sh $packages

build=${VANTREL_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build "$build" -j"$(nproc)"
