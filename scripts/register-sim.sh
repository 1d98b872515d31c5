#!/usr/bin/env bash
# Registers the stand-in handset control (UsbPhoneSim.dll) in the Wine
# prefix, in HKEY_CLASSES_ROOT as the maker's installer registers its
# control (Wine does not see per-user class registrations). Run by
# scripts/test.sh before the tests, by scripts/run.sh, and by ctest as the
# HandsetSimRegister fixture.
#   scripts/register-sim.sh [program-dir] [--unregister]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bindir=${1:-$root/build/i686/bin}
# The caller's Wine session if it has one (ctest inherits it), else the
# project's.
if [ -z "${WINEPREFIX:-}" ]; then
  # shellcheck source=wine-env.sh
  source "$root/scripts/wine-env.sh"
fi
dll="$bindir/UsbPhoneSim.dll"
if [ ! -f "$dll" ]; then
  echo "register-sim: $dll is not built" >&2
  exit 1
fi
windll=$(winepath -w "$dll" 2>/dev/null)
if [ "${2:-}" = "--unregister" ]; then
  wine regsvr32 /s /u "$windll" </dev/null >/dev/null 2>&1
else
  wine regsvr32 /s "$windll" </dev/null >/dev/null 2>&1
fi
