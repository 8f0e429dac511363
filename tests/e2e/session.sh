#!/usr/bin/env bash
# The program as a user gets it, driven as a person drives it: the installed tree of BUILD_DIR
# on a copy of the sample group, on a virtual X display, with real mouse clicks and key presses
# (xdotool), each step waiting for its window by title. With --shots it also saves the
# README's screenshots in DIR.
#
# The program runs under libfaketime at the time of day of --at (default 11:50), on the day the
# samples were made (their bookings lie around it) or --day N calendar days later; so what is
# booked, and where, is the same at whatever hour the session itself runs. The clock keeps
# running from there, as the program's minute timer expects.
#
#   tests/e2e/session.sh [--at HH:MM] [--day N] [--shots DIR] BUILD_DIR
set -euo pipefail
at=11:50 days=0 shots=""
while [ $# -gt 1 ]; do
  case $1 in
    --at) at=$2 ;;
    --day) days=$2 ;;
    --shots) shots=$(cd "$2" && pwd) ;;
    *) break ;;
  esac
  shift 2
done
[ $# -eq 1 ] && [[ $at =~ ^([01][0-9]|2[0-3]):[0-5][0-9]$ ]] && [[ $days =~ ^[0-9]+$ ]] ||
  { sed -n 's/^#   //p' "$0" >&2; exit 2; }
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
for tool in Xvfb xdotool pdftotext python3; do
  command -v "$tool" >/dev/null || { echo "session: $tool is missing (tools/deps.sh installs it)"; exit 1; }
done
faketime_lib=""
for f in /usr/lib/*/faketime/libfaketime.so.1; do [ -e "$f" ] && faketime_lib=$f; done
[ -n "$faketime_lib" ] ||
  { echo "session: libfaketime is missing (tools/deps.sh installs faketime)"; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/quorvane-session.XXXXXX")
xvfb_pid=""
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
step() { echo "session: [${SECONDS}s] $*"; }
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
press() { [ "$2" -eq 0 ] || keys $(printf "$1 %.0s" $(seq "$2")); }  # press KEY N: N times
shot() { [ -z "$shots" ] || python3 "$here/xscreen.py" png "$shots/$1" "$2"; }

tables="$work/root/usr/bin/quorvane-tables"
table="$work/group/TENNIS COURTS.DBF"
dump() { "$tables" dump "$table"; }
# Of the table's rows on standard input, the day's reservations of the court that match the
# condition (awk, with the start's clock value "now").
day_rows() {
  awk -F, -v d="$day" -v c="\"$court" -v now=$((hour * 100 + minute)) "
    \$2 == 0 && \$3 == d && index(\$4, c) == 1 && $1"
}

# The samples' day: every sample booking was made on it.
dump >"$work/before.csv"
made=$(awk -F, 'NR == 1 { for (i = 1; i <= NF; i++) if ($i == "DATEMADE") f = i }
  NR == 2 { print $f }' "$work/before.csv")
[[ $made =~ ^[0-9]{8}$ ]] || fail "the sample table has no date made ($made)"
day=$(date -d "$made +$days days" +%Y%m%d)
hour=$((10#${at%:*}))
minute=$((10#${at#*:}))
# To the full hour, or to the day's last minute in its last hour.
until=$(((hour + 1) * 100))
[ "$hour" -lt 23 ] || until=2359
to=$(printf %04d "$until" | sed 's/../&:/')
step "looking for a court free from $at to $to on $day"
court=$(python3 "$here/freecourt.py" "$day" $((hour * 100 + minute)) "$until" \
  "Court 1" "Court 2" "Court 3" "Court 4" <"$work/before.csv") ||
  fail "no court is free from $at to $to"
earlier=$(day_rows '$5 * 100 + $6 < now' <"$work/before.csv" | wc -l)

step "starting the installed program on the sample group at $at"
# The program alone runs at that time: neither the session's clock nor an outer faketime's
# shared start applies to it.
FAKETIME="@$(date -d "$day" +%F) $at:00" LD_PRELOAD="$faketime_lib" env -u FAKETIME_SHARED \
  "$bin" "$group" >"$work/app.log" 2>&1 &
app_pid=$!
started=$SECONDS
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
# Waits until the court's icon shows STATE ("occupied": red text on it, or "empty"), reading
# it only while no window lies over it; fails with WHY otherwise.
icon_shows() {
  local seen=""
  for _ in $(seq 50); do
    seen=$(python3 "$here/xscreen.py" icon "$main" "$x" "$y" "$w" "$h")
    [ "$seen" = "$1" ] && return 0
    sleep 0.1
  done
  fail "$2 (it shows: $seen)"
}

# Clicks at a point of a window, given from its top-left corner (negative: from the right or
# bottom edge), where the control a person aims at is drawn. (Where a window manager frames
# the window, xdotool's geometry is the frame's, not where the window's own area lies.)
click_in() {
  local X Y WIDTH HEIGHT dx=$2 dy=$3
  read -r X Y WIDTH HEIGHT < <(python3 "$here/xscreen.py" where "$1")
  [ "$dx" -lt 0 ] && dx=$((WIDTH + dx))
  [ "$dy" -lt 0 ] && dy=$((HEIGHT + dy))
  xdotool mousemove --sync $((X + dx)) $((Y + dy)) click 1
}

n=${court#Court }
all=$(icons)
read -r x y w h < <(sed -n "${n}p" <<<"$all") || fail "no icon for $court on the screen"
icon_shows empty "$court's icon is not empty before the booking"

step "clicking $court and booking it for Tom Bakker from $at to $to"
xdotool mousemove --sync $((x + w / 2)) $((y + h / 2)) click 1
list=$(window "^Reservations for $court\$")
# It opens centred over the group window, on some icons: a person moves it aside, to the
# screen's corner away from the icons (those of the first row lie left of the middle).
read -r screen_w screen_h < <(xdotool getdisplaygeometry)
read -r _ _ list_w list_h < <(python3 "$here/xscreen.py" where "$list")
xdotool windowmove --sync "$list" $((screen_w - list_w - 40)) $((screen_h - list_h - 40))
click_in "$list" 78 -53  # "Make Reservation"
make=$(window "^Make a Reservation for $court\$")
# The start is now; the end follows it by the court's hour (not past midnight, so in the day's
# last hour it stays at the start): bring its minutes to 00, or to 59 in the last hour.
[ $((SECONDS - started)) -lt 58 ] || fail "too slow: the program's clock is past $at"
click_in "$make" 279 51
if [ "$hour" -lt 23 ]; then press Down "$minute"; else press Up $((59 - minute)); fi
click_in "$make" 200 138  # "Bakker, Tom", under "<Add a new customer>"
click_in "$make" -224 -24  # OK
gone "^Make a Reservation for $court\$"
booked=$(dump | day_rows '$5 * 100 + $6 == now' | cut -d, -f7,8,9)
[[ $booked == ${to/:/,},*Bakker* ]] ||
  fail "the booking to $to is not in the table (found: $booked)"
icon_shows occupied "$court's icon does not show the booking"
shot facility-reservations.png "$list"

step "cancelling it from the list"
click_in "$list" 100 78  # the first line
press Down "$earlier"  # ours follows the day's earlier ones
click_in "$list" 215 -53  # "Cancel Reservation"
window "^Confirm Cancel\$" >/dev/null
keys alt+y
gone "^Confirm Cancel\$"
[ -z "$(dump | day_rows '$5 * 100 + $6 == now')" ] ||
  fail "the cancelled booking is still in the table"
icon_shows empty "$court's icon still shows the cancelled booking"
xdotool windowfocus --sync "$list"  # no window manager: the closed box does not hand it back
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
gone "^Save as PDF$"
pdf="$work/group/Tennis Courts Reservation Report.pdf"
for _ in $(seq 300); do [ -s "$pdf" ] && break; sleep 0.1; done
[ -s "$pdf" ] || fail "the report was not saved as PDF"
text=$(pdftotext -layout "$pdf" -)
grep -q "Reservation Report for Riverside Park" <<<"$text" || fail "the PDF has no heading"
grep -q "Total Reservations for Court 1 for" <<<"$text" || fail "the PDF has no totals"
grep -q "\*\*End of Report\*\*" <<<"$text" || fail "the PDF does not end the report"
xdotool windowfocus --sync "$report"
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
