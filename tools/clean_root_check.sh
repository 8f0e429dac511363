#!/usr/bin/env bash
# The Debian package on a machine that never saw the build: makes a minimal Debian 12 root from
# this system's package sources (mmdebstrap), installs the package into it with apt (its
# Depends only, no Recommends), and inside, as an ordinary user without a display:
#   - as root, prints the reservation report of the installed sample group into a PDF and
#     checks the installed sample tables with quorvane-tables, changing no installed file,
#   - as an ordinary user, does the same on a copy of the samples and dumps an installed table,
#   - lists the manual pages, the AppStream file and the package's documentation.
# The PDF is read back on this side (pdftotext) for the report's title and a customer's name.
#
#   tools/clean_root_check.sh [PACKAGE.deb] [LOG]
#
# Default package: build/packages/quorvane_*_amd64.deb (`cd build && cpack -G DEB`). Needs root
# (mmdebstrap's root mode) and reaches Debian's mirrors. Takes a few minutes, mostly downloads,
# so it is not part of the test suite. Exit status 0 only when every step passed.
set -euo pipefail
cd "$(dirname "$0")/.."

deb=${1:-$(ls build/packages/quorvane_*_amd64.deb 2>/dev/null | tail -n 1)}
log=${2:-build/clean-root.log}
[ -n "$deb" ] && [ -f "$deb" ] || {
  echo "clean-root: no package; build it with: (cd build && cpack -G DEB)" >&2
  exit 2
}
[ "$(id -u)" -eq 0 ] || { echo "clean-root: run as root (mmdebstrap --mode=root)" >&2; exit 2; }
need=()
command -v mmdebstrap >/dev/null || need+=(mmdebstrap)
command -v pdftotext >/dev/null || need+=(poppler-utils)
if [ ${#need[@]} -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}"
fi
# This system's sources: the Debian 12 mirrors it is set up for, whatever they are.
sources=/etc/apt/sources.list.d/debian.sources
[ -f "$sources" ] || sources=/etc/apt/sources.list
grep -q bookworm "$sources" || { echo "clean-root: $sources names no Debian 12 suite" >&2; exit 2; }

work=$(mktemp -d /tmp/quorvane-clean-root.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$(dirname "$log")"
start=$(date +%s)
stamp() { echo "[$(($(date +%s) - start))s] $*"; }

# Tomorrow's reservations, as the scheduled job of the manual page prints them; the samples
# hold bookings from a week before the build to a year after it.
day=$(date -d tomorrow +%F)
shown=$(date -d "$day" +%m/%d/%Y)
cp "$deb" "$work/quorvane.deb"
cat >"$work/inside.sh" <<EOF
#!/bin/sh
# Runs inside the new root, as root; the ordinary user is user 1000 (no passwd entry needed)
# with nothing but a home folder. No display anywhere.
set -eu
say() { echo "inside: \$*"; }
mkdir -p /tmp/home && chown 1000:1000 /tmp/home
as_user() { setpriv --reuid=1000 --regid=1000 --clear-groups env -i HOME=/tmp/home \
  PATH=/usr/bin:/bin LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen "\$@"; }
say "quorvane --version: \$(as_user quorvane --version)"
as_user quorvane --help | grep -q -- '--print-report' || { say "--help lacks --print-report"; exit 1; }
as_user quorvane-tables --help | grep -q -- '--raw' || { say "quorvane-tables --help lacks --raw"; exit 1; }
# The administrator (root) prints and checks the installed samples themselves; afterwards no
# installed file may have changed (dpkg --verify). An ordinary user works on a copy, as the
# manual page says: the installed folder is not theirs to write, and opening a group writes.
samples=/usr/share/quorvane/samples
run() { "\$@"; st=\$?; say "\$*: exit \$st"; [ \$st -eq 0 ] || exit 1; }
as_root() { env -i HOME=/root PATH=/usr/bin:/bin LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen "\$@"; }
cd /tmp/home
set +e
run as_root quorvane --print-report reservations --from $day --to $day --print-to /tmp/home/x.pdf "\$samples/Tennis Courts.rec"
run as_root quorvane-tables check "\$samples"
changed=\$(dpkg --verify quorvane)
[ -z "\$changed" ] || { say "installed files changed: \$changed"; exit 1; }
say "dpkg --verify quorvane: no installed file changed"
run as_user cp -r "\$samples" /tmp/home/samples
run as_user quorvane --print-report reservations --from $day --to $day --print-to /tmp/home/user.pdf "/tmp/home/samples/Tennis Courts.rec"
run as_user quorvane-tables check /tmp/home/samples
run as_user sh -c "quorvane-tables dump \$samples/RECPEOPLE.DBF >/dev/null"
set -e
for f in /usr/share/man/man1/quorvane.1.gz /usr/share/man/man1/quorvane-tables.1.gz \
         /usr/share/metainfo/io.quorvane.Quorvane.metainfo.xml \
         /usr/share/doc/quorvane/changelog.gz /usr/share/doc/quorvane/copyright; do
  [ -s "\$f" ] || { say "missing \$f"; exit 1; }
done
say "manual pages, AppStream file, changelog and copyright installed"
EOF

stamp "building a Debian 12 root from $sources and installing $(basename "$deb")" | tee "$log"
set +e
mmdebstrap --mode=root --variant=apt --format=directory --verbose \
  --customize-hook="copy-in $work/quorvane.deb $work/inside.sh /tmp" \
  --customize-hook='chroot "$1" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends /tmp/quorvane.deb' \
  --customize-hook='chroot "$1" dpkg-query -W -f="installed: \${Package} \${Version}\n" quorvane' \
  --customize-hook='chroot "$1" sh /tmp/inside.sh' \
  --customize-hook="copy-out /tmp/home/x.pdf /tmp/home/user.pdf $work" \
  bookworm "$work/root" "$sources" >>"$log" 2>&1
status=$?
set -e
grep -E '^(inside|installed):' "$log" || true
if [ $status -ne 0 ]; then
  stamp "FAILED: mmdebstrap or a step inside the root ended with $status (see $log)" | tee -a "$log"
  exit 1
fi
for pdf in x user; do
  text=$(pdftotext -layout "$work/$pdf.pdf" - 2>>"$log")
  awk 'NF && n++ < 6' <<<"$text" >>"$log"
  if ! grep -q "Reservation Report from $shown to $shown" <<<"$text" ||
     ! grep -qE "^Court 1 .*(Jansen|Okafor|Bakker|Visser|Mulder|de Vries)" <<<"$text"; then
    stamp "FAILED: $pdf.pdf does not hold the report (pdftotext above)" | tee -a "$log"
    exit 1
  fi
  stamp "$pdf.pdf holds the report: $(grep -c . <<<"$text") lines of text, $(stat -c %s "$work/$pdf.pdf") bytes" | tee -a "$log"
done
stamp "passed: installed, report printed, tables checked" | tee -a "$log"
