#!/usr/bin/env bash
# Installs what the tests need, builds everything and runs the whole suite.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build

bash "$root/scripts/install-deps.sh" cmake g++ pkg-config binutils libgtk2.0-dev libgtest-dev \
  xvfb x11-utils
cmake -S "$root" -B "$build" -DBUILD_TESTING=ON
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure
