#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds Quorvane and runs the whole test suite twice:
# once in the normal build, once under AddressSanitizer + UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
bash tools/deps.sh
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_WERROR=ON
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

# Under a preloaded library (libfaketime, when the suite is run at a chosen hour) the
# sanitizer's runtime is not first in the load order; it works all the same, so its start-up
# check is relaxed then.
asan_order=""
if [ -n "${LD_PRELOAD:-}" ]; then
  asan_order=":verify_asan_link_order=0"
  export ASAN_OPTIONS="verify_asan_link_order=0"  # the sample writer runs during the build
fi
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Sanitize -DQUORVANE_WERROR=ON -DQUORVANE_BENCH=OFF
cmake --build build-sanitize -j"$jobs"
ASAN_OPTIONS="detect_leaks=0:abort_on_error=1${asan_order}" UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j"$jobs"
echo "All tests passed (normal and sanitizer builds)."
