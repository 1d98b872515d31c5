#!/usr/bin/env bash
# Installs the virtual HID handsets' drivers (sim/hidhandset) in the Wine
# prefix: hidhandsetctl copies them, hands their INF files to SetupAPI and
# creates the root-enumerated bus. Under Wine 8 the bus's service started
# right after its installation does not report running in time
# (StartService: ERROR_SERVICE_REQUEST_TIMEOUT), while the device host loads
# it whenever the prefix's services start: so when the bus is not up after
# the install, the session is restarted once. Run by scripts/test.sh before
# the tests.
#   scripts/install-hid-sim.sh [program-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bindir=${1:-$root/build/i686/bin}
if [ -z "${WINEPREFIX:-}" ]; then
  # shellcheck source=wine-env.sh
  source "$root/scripts/wine-env.sh"
fi
ctl="$bindir/hidhandsetctl.exe"
if [ ! -f "$ctl" ]; then
  echo "install-hid-sim: $ctl is not built" >&2
  exit 1
fi
install() { wine "$ctl" install "$(winepath -w "$bindir")" </dev/null >/dev/null 2>&1; }
# Ends the session's Wine processes and starts them again. The session's
# holder (see wine-env.sh) goes with the server, but its pid file names a
# process that lives on: without a new holder, the drivers would end at every
# gap between two programs, and a test starting then would find the bus still
# coming back.
restart() {
  local state="${CALLVANE_STATE:-$WINEPREFIX.state}"
  if [ -f "$state/holder.pid" ]; then
    kill "$(cat "$state/holder.pid")" 2>/dev/null || true
    rm -f "$state/holder.pid"
  fi
  wineserver -k || true
  wineserver -w
  "${@:+"$@"}"
  "$root/scripts/wine-env.sh" start >/dev/null
}
# A prefix that has the bus keeps the drivers it was given, loaded by the
# running device host: drivers built since replace them while Wine is down.
drivers="$WINEPREFIX/drive_c/windows/system32/drivers"
update_drivers() {
  local name
  for name in CallvaneHidBus.sys CallvaneHidHandset.sys; do cp "$bindir/$name" "$drivers/$name"; done
}
for name in CallvaneHidBus.sys CallvaneHidHandset.sys; do
  if [ -f "$drivers/$name" ] && ! cmp -s "$bindir/$name" "$drivers/$name"; then
    restart update_drivers
    break
  fi
done
install && exit 0
# Under Wine 8 the bus's service started right after its installation does
# not report running in time: the device host loads it when the session
# starts again.
restart
install || { echo "install-hid-sim: the virtual HID handsets' bus did not start" >&2; exit 1; }
