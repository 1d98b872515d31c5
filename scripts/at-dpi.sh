#!/usr/bin/env bash
# Runs a command with the Wine prefix at another display scale, then sets the
# prefix back as it was, whatever the command's outcome.
#
#   scripts/at-dpi.sh DPI COMMAND [ARGS...]
#
# Wine 8 takes the system DPI from HKCU\Control Panel\Desktop "LogPixels"
# (before HKEY_CURRENT_CONFIG\Software\Fonts) when a process starts: a new
# process sees the change, one already running (the desktop and its tray
# among them) keeps its scale. CALLVANE_DPI tells the command which DPI it is
# meant to run at.
set -u
dpi=$1
shift
key='HKCU\Control Panel\Desktop'
previous=$(wine reg query "$key" /v LogPixels 2>/dev/null </dev/null | tr -d '\r' |
           awk '$1 == "LogPixels" { print $3 }')
restore() {
  if [ -n "$previous" ]; then
    wine reg add "$key" /v LogPixels /t REG_DWORD /d "$((previous))" /f </dev/null >/dev/null 2>&1
  else
    wine reg delete "$key" /v LogPixels /f </dev/null >/dev/null 2>&1
  fi
}
trap restore EXIT
trap 'exit 143' TERM INT
wine reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f </dev/null >/dev/null 2>&1 || exit 1
CALLVANE_DPI=$dpi "$@"
