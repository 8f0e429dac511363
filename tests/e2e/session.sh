#!/usr/bin/env bash
# The program as a user gets it, driven as a person drives it: the installed tree of BUILD_DIR
# on a copy of the sample group, on a virtual X display, with real mouse clicks and key presses
# (xdotool), each step waiting for its window by title. With SHOTS_DIR it also saves the
# README's screenshots there.
#
#   tests/e2e/session.sh BUILD_DIR [SHOTS_DIR]
set -euo pipefail
build=$(cd "$1" && pwd)
shots=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
for tool in Xvfb xdotool pdftotext python3; do
  command -v "$tool" >/dev/null || { echo "session: $tool is missing (tools/deps.sh installs it)"; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/quorvane-session.XXXXXX")
xvfb_pid=""
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
step() { echo "session: $*"; }
fail() {
  echo "session: FAILED: $*" >&2
  [ -n "${DISPLAY:-}" ] && python3 "$here/xscreen.py" png "${TMPDIR:-/tmp}/quorvane-session-failure.png" 2>/dev/null &&
    echo "session: the screen is in ${TMPDIR:-/tmp}/quorvane-session-failure.png"
  [ -f "$work/app.log" ] && sed 's/^/  program: /' "$work/app.log"
  exit 1
}

# The installed tree, as the package lays it out under /usr.
step "installing into a scratch root"
DESTDIR="$work/root" cmake --install "$build" --prefix /usr >/dev/null
bin="$work/root/usr/bin/quorvane"
[ -x "$bin" ] || fail "no program in the installed tree"
mkdir -p "$work/group" "$work/config/Vendrik" "$work/run" "$work/home"
cp "$work/root/usr/share/quorvane/samples/"* "$work/group/"
group="$work/group/Tennis Courts.rec"
chmod 700 "$work/run"
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
printf '[Startup]\nStartedBefore=1\n' >"$work/config/Vendrik/Quorvane.ini"  # no first-start help
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

# A display of our own.
for n in $(seq 91 140); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=":$n"; break; }
done
Xvfb "$display" -screen 0 1280x900x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
export DISPLAY="$display"
xdotool getmouselocation >/dev/null 2>&1 || fail "the virtual display did not start"

# Waits for a visible window whose title matches, prints its id.
window() {
  local id
  id=$(timeout "${2:-30}" xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -1) ||
    fail "no window \"$1\""
  echo "$id"
}
# Waits until no visible window's title matches.
gone() {
  for _ in $(seq 300); do
    xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  fail "window \"$1\" did not close"
}
keys() { xdotool key --clearmodifiers --delay 80 "$@"; }
shot() { [ -z "$shots" ] || python3 "$here/xscreen.py" png "$shots/$1" "$2"; }

step "starting the installed program on the sample group"
"$bin" "$group" >"$work/app.log" 2>&1 &
app_pid=$!
main=$(window "^Quorvane - Tennis Courts")
gone "^About Quorvane$"  # the splash closes itself
xdotool windowfocus --sync "$main"  # no window manager: give it the keyboard
shot group-window.png "$main"

step "clicking the first court"
read -r x y w h < <(python3 "$here/xscreen.py" find ffff00 "$main" | head -1) ||
  fail "no facility icon on the screen"
xdotool mousemove --sync $((x + w / 2)) $((y + h / 2)) click 1
court=$(window "^Reservations for Court 1$|^Tennis Courts$")
if [ "$(xdotool getwindowname "$court")" = "Reservations for Court 1" ]; then
  shot facility-reservations.png "$court"
else
  # Without the booking layer the click names the facility.
  keys Return
fi
gone "^Reservations for Court 1$|^Tennis Courts$"

step "View > A Day's Reservations"
xdotool windowfocus --sync "$main"
keys alt+v d
chart=$(window "^Day at a Glance$")
shot day-at-a-glance.png "$chart"
keys Escape
gone "^Day at a Glance$"

step "View > All Reservations, then Save as PDF"
xdotool windowfocus --sync "$main"  # no window manager: give it the keyboard
keys alt+v a
window "^Reservation Report Options$" >/dev/null
keys Return
report=$(window "^Reservation Report$")
shot reservation-report.png "$report"
keys alt+d
window "^Save as PDF$" >/dev/null
keys Return
pdf="$work/group/Tennis Courts Reservation Report.pdf"
for _ in $(seq 300); do [ -s "$pdf" ] && break; sleep 0.1; done
[ -s "$pdf" ] || fail "the report was not saved as PDF"
text=$(pdftotext -layout "$pdf" -)
grep -q "Reservation Report for Riverside Park" <<<"$text" || fail "the PDF has no heading"
grep -q "Total Reservations for Court 1 for" <<<"$text" || fail "the PDF has no totals"
grep -q "\*\*End of Report\*\*" <<<"$text" || fail "the PDF does not end the report"
keys Escape
gone "^Reservation Report$"

step "File > Exit"
xdotool windowfocus --sync "$main"  # no window manager: give it the keyboard
keys alt+f x
for _ in $(seq 300); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$app_pid" 2>/dev/null; then fail "the program did not end"; fi
wait "$app_pid" || fail "the program ended with status $?"
app_pid=""
step "passed"
