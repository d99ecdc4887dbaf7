#!/usr/bin/env bash
# Sets up, builds and runs every test.  --sanitize builds with ASan+UBSan in build-asan/.
# --tsan builds the tests whose commands run on the worker thread, the worker thread's own and
# the comparison that reads both catalogues at once, with ThreadSanitizer in build-tsan/ and runs only those.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup-debian.sh
build=build; extra=(); targets=(); tests=()
if [ "${1:-}" = "--tsan" ]; then
  build=build-tsan; extra=(-DDBSYNC_TSAN=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo)
  targets=(--target sqlsim e2e_ProgressEndToEndTest FailureE2eTest e2e_LocalComparisonEndToEndTest e2e_ObjectSyncEndToEndTest db_tests)
  tests=(-R '^(e2e\.(ProgressEndToEndTest|FailureE2eTest|LocalComparisonEndToEndTest|ObjectSyncEndToEndTest)|WorkerThreadRunner\..*)$')
  export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 die_after_fork=0 suppressions=$PWD/tools/tsan.supp"
elif [ "${1:-}" = "--sanitize" ]; then
  # Line tables only: the reports keep their files and lines, the build takes less time.
  build=build-asan; extra=(-DDBSYNC_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DCMAKE_C_FLAGS_DEBUG=-g1)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export LSAN_OPTIONS=suppressions=$PWD/tools/lsan.supp:print_suppressions=0
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
else
  extra=(-DCMAKE_BUILD_TYPE=Release)
fi
cmake -S . -B "$build" -G Ninja -DDBSYNC_WERROR=ON "${extra[@]}"
cmake --build "$build" -j"$(nproc)" "${targets[@]}"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 300 "${tests[@]}"
