#!/usr/bin/env bash
# Builds everything with AddressSanitizer, LeakSanitizer and UBSan in build-asan and runs the
# whole test suite there. Any report from a sanitizer fails the test that produced it.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="${JOBS:-2}"

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANE_SANITIZE=ON
cmake --build build-asan -j"$jobs"

supp="$PWD/ci/lsan.supp"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$supp:print_suppressions=0"
cd build-asan
ctest --output-on-failure -j"$jobs" "$@"
