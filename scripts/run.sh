#!/usr/bin/env bash
# Sets up the machine, builds Callvane and runs it under Wine. With a display
# (DISPLAY set and reachable) it runs there until you choose Exit in its tray
# menu. Without one it runs on a private Xvfb display, saves screenshots of
# its tray icon and menu to build/screenshots, and exits.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
CALLVANE_ARCHS=i686 "$root/scripts/build.sh"
bindir="$root/build/i686/bin"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  export CALLVANE_DISPLAY="$DISPLAY"
  # shellcheck source=wine-env.sh
  source "$root/scripts/wine-env.sh"
  eval "$("$root/scripts/wine-env.sh" start)"
  # The virtual handset stands in for the USB handset, plugged in.
  "$root/scripts/register-sim.sh" "$bindir"
  export CALLVANE_HANDSET="${CALLVANE_HANDSET:-plugged}"
  cd "$bindir"
  exec wine Callvane.exe
fi

trap '"$root/scripts/wine-env.sh" stop' EXIT
# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh"
eval "$("$root/scripts/wine-env.sh" start)"
"$root/scripts/register-sim.sh" "$bindir"
"$root/scripts/tray-screenshot.sh" "$bindir" "$root/build/screenshots"
