#!/usr/bin/env bash
# Sets up the machine, builds Callvane and runs it under Wine with the
# stand-in messenger and the virtual handset, then plays a short tour (an
# incoming call answered and hung up, a number dialled on the handset and
# called, the tray menu and dialogs), saving a screenshot of each step in
# build/screenshots/tour.
# With a display (DISPLAY set and reachable) everything runs there, and
# Callvane goes on running after the tour until you choose Exit in its tray
# menu. Without one it runs on a private Xvfb display and ends after the tour.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
CALLVANE_ARCHS=i686 CALLVANE_TARGET=callvane_demo "$root/scripts/build.sh"
bindir="$root/build/i686/bin"
outdir="$root/build/screenshots/tour"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  export CALLVANE_DISPLAY="$DISPLAY"
  # shellcheck source=wine-env.sh
  source "$root/scripts/wine-env.sh"
  eval "$("$root/scripts/wine-env.sh" start)"
  "$root/scripts/register-sim.sh" "$bindir"
  "$root/scripts/demo-tour.sh" "$bindir" "$outdir" --keep
  echo "Callvane runs on $DISPLAY with the stand-in messenger and the virtual handset."
  echo "Try: (cd $bindir && wine messengerctl.exe ring caller=Bob), then lift the handset."
  echo "Choose Exit in its tray menu to end it."
  while pgrep -f '[C]allvane\.exe' >/dev/null; do sleep 1; done
  (cd "$bindir" && wine messengerctl.exe quit </dev/null >/dev/null 2>&1) || true
  exit 0
fi

trap '"$root/scripts/wine-env.sh" stop' EXIT
# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh"
eval "$("$root/scripts/wine-env.sh" start)"
"$root/scripts/register-sim.sh" "$bindir"
"$root/scripts/demo-tour.sh" "$bindir" "$outdir"
