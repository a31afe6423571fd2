#!/usr/bin/env bash
# Installs what the tests need, builds everything with g++ and runs the
# whole suite. The fuzz test is built and run first, in a second build with
# clang, whose libFuzzer and sanitizer runtimes it needs.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)

# The survey test installs the programs it surveys itself.
bash "$root/scripts/install-deps.sh" test

cmake -S "$root" -B "$root/build" -DBUILD_TESTING=ON
cmake --build "$root/build" -j "$(nproc)"

CC=clang CXX=clang++ cmake -S "$root" -B "$root/build-fuzz" -DBUILD_TESTING=ON -DRGBA_FUZZ=ON
cmake --build "$root/build-fuzz" -j "$(nproc)" --target rgba_apps_selects_fuzzer

ctest --test-dir "$root/build-fuzz" --output-on-failure -R '^fuzz_'
ctest --test-dir "$root/build" --output-on-failure
