#!/usr/bin/env bash
# Runs Callvane under Wine on the session's display, and saves what a user
# sees of it: the tray icon, and the tray icon with its menu open.
#   scripts/tray-screenshot.sh [program-dir] [output-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bindir=${1:-$root/build/i686/bin}
outdir=${2:-$root/build/screenshots}
mkdir -p "$outdir"
# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh"
eval "$("$root/scripts/wine-env.sh" start)"
# Debian's ImageMagick, not another convert earlier on PATH.
IM_CONVERT=/usr/bin/convert

(cd "$bindir" && exec wine Callvane.exe </dev/null >/dev/null 2>&1) &
callvane=$!
finish() {
  (cd "$bindir" && wine Callvane.exe '*exit*' </dev/null >/dev/null 2>&1) || true
  for _ in $(seq 1 50); do kill -0 "$callvane" 2>/dev/null || break; sleep 0.1; done
  kill "$callvane" 2>/dev/null || true
}
trap finish EXIT

tray=""
for _ in $(seq 1 100); do
  tray=$(xdotool search --onlyvisible --name '^Wine System Tray$' 2>/dev/null | head -n 1 || true)
  [ -n "$tray" ] && break
  sleep 0.1
done
[ -n "$tray" ] || { echo "tray-screenshot: no tray window appeared" >&2; exit 1; }
# The first status refresh comes with the watch timer, two seconds after start.
sleep 2.5

eval "$(xdotool getwindowgeometry --shell "$tray")"
import -window root "$outdir/desktop.png"
$IM_CONVERT "$outdir/desktop.png" -crop "$((WIDTH + 40))x$((HEIGHT + 40))+0+0" +repage -scale 300% "$outdir/tray.png"

# A right click on the icon opens its menu at the cursor.
# Below the standalone tray window's own caption, on the first icon.
xdotool mousemove "$((X + 14))" "$((Y + HEIGHT - 12))" click 3
sleep 1
import -window root "$outdir/desktop-menu.png"
$IM_CONVERT "$outdir/desktop-menu.png" -crop 320x220+0+0 +repage -scale 200% "$outdir/tray-menu.png"
xdotool key Escape || true
echo "tray-screenshot: $outdir/tray.png $outdir/tray-menu.png"
