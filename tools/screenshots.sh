#!/usr/bin/env bash
# Makes the README's screenshots from the sample group: runs the end-to-end session on the
# installed tree of BUILD_DIR (default build) and keeps what it sees in docs/images/.
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p docs/images
exec bash tests/e2e/session.sh --shots docs/images "${1:-build}"
