#!/usr/bin/env bash
# Sets up the machine, builds both architectures and runs every test of the
# 32-bit build under Wine on a private Xvfb display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh"
# Wine's services must be running before anything else starts wine.
eval "$("$root/scripts/wine-env.sh" start)"
trap '"$root/scripts/wine-env.sh" stop' EXIT
"$root/scripts/build.sh"
built=$SECONDS
# The stand-in handset control, as the maker's installer would register it.
"$root/scripts/register-sim.sh" "$root/build/i686/bin"
"$root/scripts/install-hid-sim.sh" "$root/build/i686/bin"
cd "$root/build/i686"
status=0
# Every entry must run: a skipped one or a filter that matches nothing fails.
"$root/scripts/ctest-all-ran.sh" --output-on-failure --timeout 300 "$@" || status=$?
echo "test.sh: set-up and build $built s, tests $((SECONDS - built)) s"
exit $status
