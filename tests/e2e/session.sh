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
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null || true
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

# The icons in reading order: the top-left solid area of each.
icons() {
  python3 "$here/xscreen.py" find ffff00 "$main" | awk '
    { keep = 1
      for (i = 0; i < n; i++) if ($1 == x[i] && $2 - y[i] < 80) keep = 0
      if (keep && $3 >= 60) { x[n] = $1; y[n] = $2; print; n++ } }'
}
# Whether an icon shows an occupant: text in the occupied colour (red) inside it.
occupied() {
  local x=$1 y=$2 w=$3
  python3 "$here/xscreen.py" find ff0000 "$main" 1 | awk -v x="$x" -v y="$y" -v w="$w" '
    $1 >= x && $1 < x + w && $2 >= y && $2 < y + 60 { found = 1 } END { exit !found }'
}
tables="$work/root/usr/bin/quorvane-tables"
table="$work/group/TENNIS COURTS.DBF"
dump() { "$tables" dump "$table"; }

# Clicks at a point of a window, given from its top-left corner (negative: from the right or
# bottom edge), where the control a person aims at is drawn.
click_in() {
  local X Y WIDTH HEIGHT SCREEN WINDOW dx=$2 dy=$3
  eval "$(xdotool getwindowgeometry --shell "$1")"
  [ "$dx" -lt 0 ] && dx=$((WIDTH + dx))
  [ "$dy" -lt 0 ] && dy=$((HEIGHT + dy))
  xdotool mousemove --sync $((X + dx)) $((Y + dy)) click 1
}

step "looking for a court free until the next full hour"
today=$(date +%Y%m%d)
hour=$(date +%-H)
minute=$(date +%-M)
[ "$hour" -lt 23 ] || fail "run the session before 23:00: the booking must end today"
[ "$minute" -le 55 ] || { sleep $(( (61 - minute) * 60 )); hour=$(date +%-H); minute=$(date +%-M); }
court=$(dump | python3 "$here/freecourt.py" "$today" $((hour * 100 + minute)) $(((hour + 1) * 100)) \
  "Court 1" "Court 2" "Court 3" "Court 4") || fail "no court is free until the next full hour"
n=${court#Court }
read -r x y w h < <(icons | sed -n "${n}p") || fail "no icon for $court on the screen"
occupied "$x" "$y" "$w" && fail "$court shows an occupant before the booking"
earlier=$(dump | awk -F, -v d="$today" -v c="\"$court" -v now=$((hour * 100 + minute)) '
  $2 == 0 && $3 == d && index($4, c) == 1 && $5 * 100 + $6 < now { n++ } END { print n + 0 }')

step "clicking $court and booking it for Tom Bakker from now to the full hour"
xdotool mousemove --sync $((x + w / 2)) $((y + h / 2)) click 1
list=$(window "^Reservations for $court\$")
shot facility-reservations.png "$list"
click_in "$list" 78 -53  # "Make Reservation"
make=$(window "^Make a Reservation for $court\$")
# The end follows the start (now) by the court's hour; bring its minutes back to 00.
click_in "$make" 279 51
for _ in $(seq "$minute"); do keys Down; done
click_in "$make" 200 138  # "Bakker, Tom", under "<Add a new customer>"
click_in "$make" -224 -24  # OK
gone "^Make a Reservation for $court\$"
booked=$(dump | awk -F, -v d="$today" -v c="\"$court" -v now=$((hour * 100 + minute)) '
  $2 == 0 && $3 == d && index($4, c) == 1 && $5 * 100 + $6 == now { print $9 }')
grep -q "Bakker" <<<"$booked" || fail "the booking is not in the table (found: $booked)"
for _ in $(seq 50); do occupied "$x" "$y" "$w" && break; sleep 0.1; done
occupied "$x" "$y" "$w" || fail "$court's icon does not show the booking"
shot facility-reservations.png "$list"

step "cancelling it from the list"
click_in "$list" 100 78  # the first line
for _ in $(seq "$earlier"); do keys Down; done  # ours follows the day's earlier ones
click_in "$list" 215 -53  # "Cancel Reservation"
window "^Confirm Cancel\$" >/dev/null
keys alt+y
gone "^Confirm Cancel\$"
left=$(dump | awk -F, -v d="$today" -v c="\"$court" -v now=$((hour * 100 + minute)) '
  $2 == 0 && $3 == d && index($4, c) == 1 && $5 * 100 + $6 == now { print $9 }')
[ -z "$left" ] || fail "the cancelled booking is still in the table"
for _ in $(seq 50); do occupied "$x" "$y" "$w" || break; sleep 0.1; done
occupied "$x" "$y" "$w" && fail "$court's icon still shows the cancelled booking"
keys Escape
gone "^Reservations for $court\$"

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
