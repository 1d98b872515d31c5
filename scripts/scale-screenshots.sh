#!/usr/bin/env bash
# Plays the demo tour with the whole Wine session at another display scale
# (the desktop and its tray included, which read the scale when they start),
# then sets the prefix back and restarts the session as it was.
#   scripts/scale-screenshots.sh [dpi] [program-dir] [output-dir]
# Expects the Wine session of scripts/wine-env.sh (sourced, and started).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dpi=${1:-144}
bindir=${2:-$root/build/i686/bin}
outdir=${3:-$root/build/screenshots/scale-$dpi}

# The session's background processes keep no pipe of the caller open.
restart() { "$root/scripts/wine-env.sh" stop >/dev/null 2>&1 || true; eval "$("$root/scripts/wine-env.sh" start 2>/dev/null)"; }
restart_as_before() {
  restart
  "$root/scripts/register-sim.sh" "$bindir" >/dev/null
  echo "scale-screenshots: pictures in $outdir; the session runs again: export DISPLAY=$DISPLAY"
}
trap restart_as_before EXIT
# at-dpi.sh holds the scale for the tour's run and sets the prefix back
# after it; the session restarts inside it, and once more after it.
CALLVANE_ROOT=$root bash "$root/scripts/at-dpi.sh" "$dpi" bash -c '
  "$CALLVANE_ROOT/scripts/wine-env.sh" stop >/dev/null 2>&1 || true
  eval "$("$CALLVANE_ROOT/scripts/wine-env.sh" start 2>/dev/null)"
  "$CALLVANE_ROOT/scripts/register-sim.sh" "$0" >/dev/null
  bash "$CALLVANE_ROOT/scripts/demo-tour.sh" "$0" "$1"' "$bindir" "$outdir"
