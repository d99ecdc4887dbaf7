#!/usr/bin/env bash
# Sets up, builds and runs every test.  --sanitize builds with ASan+UBSan in build-asan/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup-debian.sh
build=build; extra=()
if [ "${1:-}" = "--sanitize" ]; then
  build=build-asan; extra=(-DDBSYNC_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export LSAN_OPTIONS=suppressions=$PWD/tools/lsan.supp:print_suppressions=0
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
else
  extra=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
fi
cmake -S . -B "$build" -G Ninja -DDBSYNC_WERROR=ON "${extra[@]}"
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 300
