#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing.
set -euo pipefail
pkgs=(cmake ninja-build g++ clang pkg-config qt6-base-dev qt6-svg-dev libgl-dev libgtest-dev libgmock-dev
      libbenchmark-dev libsqlite3-dev sqlite3 python3 python3-dbfread python3-dbf
      libdbd-xbase-perl xvfb xauth tzdata fonts-urw-base35 python3-icalendar dpkg-dev xdotool
      desktop-file-utils poppler-utils faketime python3-docutils appstream lintian)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
