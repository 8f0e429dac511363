#!/usr/bin/env bash
# The Debian package as Debian's checker sees it: packs BUILD_DIR with cpack into a scratch
# folder and runs lintian on the .deb; any error or warning fails (information tags do not).
set -euo pipefail
build=$1
out=$(mktemp -d /tmp/quorvane-package.XXXXXX)
trap 'rm -rf "$out"' EXIT
if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out/work" \
     -D CPACK_OUTPUT_FILE_PREFIX="$out" >"$out/cpack.log" 2>&1; then
  cat "$out/cpack.log"
  exit 1
fi
deb=$(ls "$out"/quorvane_*.deb)
echo "lintian $(basename "$deb")"
lintian --fail-on error,warning "$deb" 2> >(grep -v 'root privileges' >&2)
echo "lintian: no errors, no warnings"
