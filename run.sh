#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds Quorvane and starts it on the bundled sample group.
set -euo pipefail
cd "$(dirname "$0")"
bash tools/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target quorvane quorvane_samples
exec build/quorvane "build/samples/Tennis Courts.rec" "$@"
