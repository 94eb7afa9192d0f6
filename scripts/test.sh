#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: in a normal build and in a
# build with AddressSanitizer and UndefinedBehaviorSanitizer, where any report fails the test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

for variant in normal sanitize; do
  if [ "$variant" = normal ]; then
    dir=build; options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
  else
    dir=build-sanitize; options=(-DCMAKE_BUILD_TYPE=Debug -DTRELVO_SANITIZE=ON)
  fi
  echo "== $variant build ($dir)"
  cmake -G Ninja -S . -B "$dir" "${options[@]}" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
done
