#!/usr/bin/env bash
# Plays a short tour of Callvane with the stand-in messenger and the virtual
# handset, on the session's display, and saves a screenshot of each step:
# the tray icon with its tip and menu, an incoming call ringing, answered by
# lifting the handset and hung up by replacing it, a number dialled on the
# handset and called, and the options and language dialogs.
#   scripts/demo-tour.sh [program-dir] [output-dir] [--keep]
# Expects the Wine session of scripts/wine-env.sh and the handset stand-in
# registered (scripts/run.sh does both). With --keep, Callvane and the
# stand-in messenger go on running after the tour; otherwise both end.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bindir=${1:-$root/build/i686/bin}
outdir=${2:-$root/build/screenshots/tour}
keep=${3:-}
mkdir -p "$outdir"
rm -f "$outdir"/*.png "$outdir"/*.txt
# Debian's ImageMagick, not another convert earlier on PATH.
IM_CONVERT=/usr/bin/convert

say() { echo "tour: $*"; }
fail() { echo "tour: $*" >&2; exit 1; }
handset() { (cd "$bindir" && wine handsetctl.exe "$@" </dev/null 2>/dev/null | tr -d '\r'); }
messenger() { (cd "$bindir" && wine messengerctl.exe "$@" </dev/null 2>/dev/null | tr -d '\r'); }

# Polls until the virtual handset's state has the given field, e.g.
# 'display="CallIn"' (state fields are listed in sim/handset/README.md).
wait_handset() {
  local want=$1 state=""
  for _ in $(seq 1 100); do
    state=$(handset state || true)
    case " $state " in *" $want "*) return 0 ;; esac
    sleep 0.2
  done
  fail "the handset never showed $want (last: $state)"
}

# Polls until a visible X window with this exact title exists.
wait_window() {
  local title=$1
  for _ in $(seq 1 100); do
    xdotool search --onlyvisible --name "^$title\$" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  fail "no window \"$title\" appeared"
}

step=0
file=""
shoot() {
  step=$((step + 1))
  file=$(printf '%s/%02d-%s.png' "$outdir" "$step" "$1")
  sleep 0.4  # let the last repaint reach the X server
  import -window root "$file"
  say "$file"
}
# The same, and the named window alone beside it (<step>-<name>-window.png).
shoot_window() {
  shoot "$1"
  local id
  id=$(xdotool search --onlyvisible --name "^$2\$" | head -n 1)
  eval "$(xdotool getwindowgeometry --shell "$id")"
  $IM_CONVERT "${file%.png}.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "${file%.png}-window.png"
}

# --- The stand-alone notification area -------------------------------------

# The display's scale (the prefix's LogPixels, 96 unless set): the tray's
# cells, the tip and the menu grow with it.
dpi=$(wine reg query 'HKCU\Control Panel\Desktop' /v LogPixels 2>/dev/null </dev/null | tr -d '\r' |
      awk '$1 == "LogPixels" { print $3 }' || true)
dpi=$((${dpi:-96}))
scaled() { echo $(($1 * dpi / 96)); }

# A desktop without a shell of its own shows Wine's stand-alone tray window: a
# row of cells under its caption (the small-icon size and a 2-pixel border
# round it), filled from the left in the order the icons came, closing up
# when one goes. Other programs' icons can stand there too (the whole test
# suite runs before the tour), so the tour finds its own icon rather than
# taking the first cell.
image=$(scaled 16)
cell=$((image + 4))
find_tray() { xdotool search --onlyvisible --name '^Wine System Tray$' 2>/dev/null | head -n 1 || true; }
# Brings the tray window above the others: shown again after it was hidden,
# Wine's tray keeps its old place in the stacking order, below any window
# made since that covers it.
raise_tray() { xdotool windowraise "$tray" 2>/dev/null || true; }
# Sets icon_x, icon_y to the centre of the tray's cell $1 (0 at the left).
cell_centre() {
  local X Y WIDTH HEIGHT SCREEN n border
  eval "$(xdotool getwindowgeometry --shell "$tray")"
  n=$((WIDTH / cell)) border=$(((WIDTH % cell) / 2))
  icon_x=$((X + border + cell * $1 + cell / 2)) icon_y=$((Y + HEIGHT - border - cell / 2))
}
# The mean colour of each cell's image, "r g b" a line, from the left.
tray_cells() {
  local X Y WIDTH HEIGHT SCREEN n border
  eval "$(xdotool getwindowgeometry --shell "$tray")"
  n=$((WIDTH / cell)) border=$(((WIDTH % cell) / 2))
  import -window root -crop "$((n * cell))x${image}+$((X + border))+$((Y + HEIGHT - border - cell + 2))" +repage png:- 2>/dev/null |
    $IM_CONVERT png:- -crop "${cell}x${image}" +repage -shave 2x0 -scale 1x1\! -depth 8 \
      -format '%[fx:round(255*r)] %[fx:round(255*g)] %[fx:round(255*b)]\n' info: 2>/dev/null || true
}
# The badge is green once Callvane has found the handset and the messenger.
is_green() { [ -n "${3:-}" ] && [ "$2" -gt $(($1 + 30)) ] && [ "$2" -gt $(($3 + 30)) ]; }

# Wine's tray drops an icon whose window is gone only when it fails to tell
# that window of the pointer: pass the pointer over every cell, the last
# first, so that cells closing up behind it hold only icons already passed.
# Icons of other programs, by the cells that are not the tray's white.
count_icons() { [ -z "$tray" ] || tray_cells | grep -cv '^255 255 255$' || true; }
tray=$(find_tray)
green_before=" "
if [ -n "$tray" ]; then
  raise_tray
  say "other icons in the tray before the tour: $(count_icons)"
  eval "$(xdotool getwindowgeometry --shell "$tray" | grep '^WIDTH=')"
  for i in $(seq $((WIDTH / cell - 1)) -1 0); do
    cell_centre "$i"
    xdotool mousemove "$icon_x" "$icon_y"
    sleep 0.05
  done
  xdotool mousemove 500 300
  sleep 0.3
  tray=$(find_tray)  # hidden once it holds no icon
fi
if [ -n "$tray" ]; then
  # Icons of programs still running stay; a green one is not the tour's.
  i=0
  while read -r r g b; do
    is_green "$r" "$g" "$b" && green_before+="$i "
    i=$((i + 1))
  done <<<"$(tray_cells)"
  say "other icons still there after the pointer passed: $(count_icons)"
fi

# --- Start the peers -------------------------------------------------------

journal=$(winepath -w "$outdir/messenger-journal.txt" 2>/dev/null)
(cd "$bindir" && exec wine MessengerSim.exe --journal "$journal" </dev/null >/dev/null 2>&1) &
for _ in $(seq 1 100); do messenger ping >/dev/null && break; sleep 0.1; done
messenger ping >/dev/null || fail "the stand-in messenger did not start"

(cd "$bindir" && CALLVANE_HANDSET=plugged exec wine Callvane.exe </dev/null >/dev/null 2>&1) &
callvane=$!
finish() {
  [ "$keep" = "--keep" ] && return 0
  (cd "$bindir" && wine Callvane.exe '*exit*' </dev/null >/dev/null 2>&1) || true
  messenger quit >/dev/null || true
  for _ in $(seq 1 50); do kill -0 "$callvane" 2>/dev/null || break; sleep 0.1; done
}
trap finish EXIT
wait_handset 'open=1'
# The notification opens at the bottom right, where the handset starts.
handset move 600 8 >/dev/null

# A desktop with a tray of its own (a taskbar) docks the icon there instead
# of in the stand-alone tray window.
for _ in $(seq 1 30); do
  tray=$(find_tray)
  [ -n "$tray" ] && break
  sleep 0.1
done

# The visible X windows of one Wine program (by its exe's name), one id a line.
visible_of() { xdotool search --onlyvisible --classname "^$1\$" 2>/dev/null | sort || true; }
# Polls until a window of the program appears that is not in the given list,
# and prints its id.
wait_new_window() {
  local program=$1 before=$2 what=$3 new
  for _ in $(seq 1 50); do
    new=$(comm -13 <(echo "$before") <(visible_of "$program") | head -n 1)
    [ -n "$new" ] && { echo "$new"; return 0; }
    sleep 0.1
  done
  fail "$what did not appear"
}
wait_gone() {
  for _ in $(seq 1 50); do
    xdotool search --onlyvisible --classname '.*' 2>/dev/null | grep -qx "$1" || return 0
    sleep 0.1
  done
  fail "$2 did not close"
}
# Wine's menus and dialogs take no keys until X gives them the focus (there is
# no window manager); once it has, they are driven by keys alone, so nothing
# here depends on where a menu item is drawn or how tall a font is.
menu=""
open_menu() {
  local before
  before=$(visible_of callvane.exe)
  raise_tray
  xdotool mousemove "$icon_x" "$icon_y" click 3
  menu=$(wait_new_window callvane.exe "$before" "the tray menu")
  xdotool windowfocus --sync "$menu"
}
close_menu() { xdotool key Escape; wait_gone "$menu" "the tray menu"; }
# Chooses the n-th command of the open menu (separators are skipped).
menu_command() {
  local keys=() i
  for i in $(seq 1 "$1"); do keys+=(Down); done
  xdotool key --delay 60 "${keys[@]}" Return
  wait_gone "$menu" "the tray menu"
}
close_dialog() {
  local id
  id=$(xdotool search --onlyvisible --name "^$1\$" | head -n 1)
  xdotool windowfocus --sync "$id"
  xdotool key Escape
  wait_gone "$id" "\"$1\""
}
# Finds the tour's icon: the cell that turns to the online badge and was not
# green before Callvane started (the first status refresh comes with the
# watch timer, two seconds in; before it the tray shows the application icon).
wait_icon_online() {
  local cells i r g b
  for _ in $(seq 1 100); do
    raise_tray
    cells=$(tray_cells)
    i=0
    while read -r r g b; do
      if is_green "$r" "$g" "$b" && [[ $green_before != *" $i "* ]]; then
        cell_centre "$i"
        say "the tour's icon is in cell $i of the tray"
        return 0
      fi
      i=$((i + 1))
    done <<<"$cells"
    sleep 0.1
  done
  fail "the tray icon never turned to the online badge (last colours of the cells: $(echo $cells | tr '\n' ' '))"
}

# --- The tray ---------------------------------------------------------------

icon_x="" icon_y=""
if [ -n "$tray" ]; then
  wait_icon_online
  before=$(visible_of explorer.exe)
  xdotool mousemove "$((icon_x - 1))" "$((icon_y - 1))" && xdotool mousemove "$icon_x" "$icon_y"
  wait_new_window explorer.exe "$before" "the tray tip" >/dev/null
  shoot tray-tip-online
  $IM_CONVERT "$file" -crop "$(scaled 240)x$(scaled 80)+0+0" +repage -scale 200% "$outdir/tour-tray-tip.png"
  open_menu
  shoot tray-menu
  $IM_CONVERT "$file" -crop "$(scaled 240)x$(scaled 160)+0+0" +repage -scale 200% "$outdir/tour-tray-menu.png"
  close_menu
  xdotool mousemove 500 300
else
  say "no stand-alone tray window on this display: skipping the tray pictures"
fi

# --- An incoming call, answered and hung up -----------------------------------

messenger ring caller=Alice >/dev/null || fail "the stand-in messenger did not ring"
wait_handset 'display="CallIn"'
shoot_window incoming-callin "Virtual handset"
handset lift >/dev/null
wait_handset 'display="InTalk"'
wait_window Alice
shoot_window incoming-answered-intalk "Alice"
handset replace >/dev/null
wait_handset 'ready=1'
shoot incoming-hung-up

# --- An outgoing call dialled on the handset -----------------------------------

handset lift >/dev/null
handset dial 5551234 >/dev/null
wait_handset 'display="5551234"'
shoot_window outgoing-dialled "Virtual handset"
handset key call >/dev/null
wait_window 'Calling 5551234'
wait_handset 'display="InTalk"'
shoot_window outgoing-calling-intalk "Calling 5551234"
handset replace >/dev/null
wait_handset 'ready=1'
shoot outgoing-hung-up

# --- The dialogs from the tray menu ----------------------------------------------

if [ -n "$icon_x" ]; then
  open_menu && menu_command 3
  wait_window "Ring style"
  shoot_window options-dialog "Ring style"
  close_dialog "Ring style"
  open_menu && menu_command 2
  wait_window "Select Yahoo language"
  shoot_window language-dialog "Select Yahoo language"
  close_dialog "Select Yahoo language"
  open_menu && menu_command 4
  wait_window "About Callvane"
  shoot_window about-dialog "About Callvane"
  close_dialog "About Callvane"
fi
# Overviews for the documentation: the calls, and the dialogs.
calls=()
for picture in "$outdir"/0[3-8]-*.png; do
  case "$picture" in *-window.png) ;; *) calls+=("$picture") ;; esac
done
/usr/bin/montage "${calls[@]}" -tile 3x2 -geometry 400x300+6+6 -background '#404040' "$outdir/tour-calls.png"
if [ -n "$icon_x" ]; then
  /usr/bin/montage "$outdir"/*-dialog-window.png -tile 3x1 -geometry '+12+12' -background '#404040' \
    "$outdir/tour-dialogs.png"
fi
say "done: $step steps in $outdir, overviews in tour-*.png"
