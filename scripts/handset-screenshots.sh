#!/usr/bin/env bash
# Takes the virtual handset's pictures for the documentation: once showing
# "CallIn" for a ringing call, once showing a number dialled on its keypad.
# The phone tests' screenshot case drives the handset side; this script
# takes each picture when it says the handset is ready.
#   scripts/handset-screenshots.sh [build-dir] [output-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/i686}
outdir=${2:-$root/docs/screenshots}
mkdir -p "$outdir"
# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh"
eval "$("$root/scripts/wine-env.sh" start)"
"$root/scripts/register-sim.sh" "$build/bin"
# Debian's ImageMagick, not another convert earlier on PATH.
IM_CONVERT=/usr/bin/convert

work=$(mktemp -d)
demo=""
finish() {
  [ -n "$demo" ] && kill "$demo" 2>/dev/null || true
  rm -rf "$work"
}
trap finish EXIT

CALLVANE_DEMO_DIR=$(winepath -w "$work" 2>/dev/null) \
  wine "$build/bin/callvane_phone_tests.exe" --gtest_also_run_disabled_tests \
  --gtest_filter='HandsetScreenshots.*' </dev/null >"$work/log" 2>&1 &
demo=$!

shoot() {
  local name=$1 picture=$2
  for _ in $(seq 1 300); do
    [ -f "$work/$name.ready" ] && break
    kill -0 "$demo" 2>/dev/null || { cat "$work/log" >&2; exit 1; }
    sleep 0.1
  done
  [ -f "$work/$name.ready" ] || { echo "handset-screenshots: no $name picture" >&2; exit 1; }
  read -r x y width height <"$work/$name.ready" || true
  import -window root "$work/root.png"
  $IM_CONVERT "$work/root.png" -crop "${width}x${height}+${x}+${y}" +repage "$outdir/$picture"
  touch "$work/$name.done"
}
shoot callin handset-callin.png
shoot dialled handset-dialled.png
wait "$demo" || { cat "$work/log" >&2; exit 1; }
demo=""
grep -q '\[  PASSED  \] 1 test' "$work/log" || { cat "$work/log" >&2; exit 1; }
echo "handset-screenshots: $outdir/handset-callin.png $outdir/handset-dialled.png"
