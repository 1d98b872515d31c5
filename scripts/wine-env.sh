#!/usr/bin/env bash
# The Wine environment Callvane is built and tested in: a 32-bit prefix outside
# the source tree, a private Xvfb display, and Wine's background services
# started before anything else runs wine (otherwise they inherit the first
# caller's stdout and ctest waits on them).
#
#   source scripts/wine-env.sh          sets WINEPREFIX & co. in this shell
#   scripts/wine-env.sh prefix          creates the prefix if it is missing
#   scripts/wine-env.sh start|stop      starts or ends display + wineserver
#
# start writes "export DISPLAY=..." lines to stdout for eval.

export WINEARCH=win32
export WINEPREFIX="${CALLVANE_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/callvane/wine32}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono/Gecko prompts; and no winemenubuilder, which runs behind every
# shortcut an installer creates and rewrites the shell-folder registry values
# (the Start-up folder among them) while tests rely on them.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
CALLVANE_STATE="${CALLVANE_STATE:-$WINEPREFIX.state}"

# What the prefix must hold besides what wineboot makes; bump the version
# when it changes so that existing prefixes are brought up to date.
CV_PREFIX_SETTINGS_VERSION=5
cv_prefix_settings() {
  local reg="$WINEPREFIX/callvane-settings.reg" face
  # One import: every wine start costs a second or more on a loaded machine.
  {
    echo "REGEDIT4"
    # Unmanaged X windows: on a bare X server, hiding a managed window waits
    # two seconds for a window manager that never answers.
    printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Managed"="N"\n'
    # The messenger's texts are Chinese; Wine's own fonts have no CJK glyphs,
    # and a dialog font reaches another font's glyphs only through a link.
    printf '\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink]\n'
    local link
    link=$(printf 'wqy-microhei.ttc,WenQuanYi Micro Hei' | od -An -tx1 -v | tr -s ' \n' ',' | sed 's/^,//; s/,$//')
    for face in "System" "Tahoma" "MS Shell Dlg" "MS Shell Dlg 2" "MS Sans Serif" "Microsoft Sans Serif"; do
      printf '"%s"=hex(7):%s,00,00\n' "$face" "$link"
    done
    # Wine gives a sound device it meets for the first time a random GUID and
    # lists the devices it knows in GUID order, then the new ones in the
    # server's order: so in a new prefix the order depended on which server
    # a test met first. Every layout's devices get fixed GUIDs here and are
    # made known, in the order cv_sound_layout names them, with the monitors
    # of the playback devices (a sound server's own, which no Windows has)
    # after every real device.
    local pass layout entry node description key flow name serial=0 guid
    declare -A known=()
    for pass in devices monitors; do
      for layout in multi main none usbother; do
        while IFS= read -r entry; do
          node=${entry%%:*}
          description=${entry#*:}
          case "$pass,$node" in
            devices,*mic) key="1,$node" flow=Capture name=$description ;;
            devices,*) key="0,$node" flow=Render name=$description ;;
            monitors,*mic) continue ;;
            monitors,*) key="1,$node.monitor" flow=Capture name="Monitor of $description" ;;
          esac
          [ -n "${known[$key]:-}" ] && continue
          known[$key]=1
          serial=$((serial + 1))
          guid=$(printf '%04X' "$serial")
          printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\Drivers\\winepulse.drv\\devices\\%s]\n' "$key"
          printf '"guid"=hex:ca,11,da,7e,00,00,00,00,00,00,00,00,00,00,%s,%s\n' "${guid:0:2}" "${guid:2:2}"
          printf '\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\MMDevices\\Audio\\%s\\{7EDA11CA-0000-0000-0000-00000000%s}\\Properties]\n' "$flow" "$guid"
          printf '"{A45C254E-DF1C-4EFD-8020-67D146A850E0},14"="%s"\n' "$name"
        done < <(cv_sound_layout "$layout")
      done
    done
  } > "$reg"
  wine regedit /S "$(winepath -w "$reg")" </dev/null >/dev/null 2>&1
  # Debian's Wine does not load the fonts of its data folder (fonts-wine's
  # Tahoma, Marlett for the title-bar buttons, System...); a prefix finds
  # them in its own Fonts folder, as Windows keeps them.
  cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
  # Fonts and window settings are read when the server starts.
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w
  echo "$CV_PREFIX_SETTINGS_VERSION" > "$WINEPREFIX/callvane-settings"
}

cv_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine-env: creating 32-bit prefix $WINEPREFIX" >&2
    mkdir -p "$(dirname "$WINEPREFIX")"
    wineboot -i </dev/null >/dev/null 2>&1 || true
    wineserver -w
  fi
  if [ "$(cat "$WINEPREFIX/callvane-settings" 2>/dev/null)" != "$CV_PREFIX_SETTINGS_VERSION" ]; then
    echo "wine-env: settings of prefix $WINEPREFIX" >&2
    cv_prefix_settings
  fi
}

cv_start() {
  mkdir -p "$CALLVANE_STATE"
  local display="${CALLVANE_DISPLAY:-}"
  # Reuse a display this script started earlier and that still runs.
  if [ -z "$display" ] && [ -f "$CALLVANE_STATE/xvfb.pid" ] && kill -0 "$(cat "$CALLVANE_STATE/xvfb.pid")" 2>/dev/null; then
    display=$(cat "$CALLVANE_STATE/display")
  fi
  if [ -z "$display" ]; then
    # The first free display whose lock our server holds: another session
    # may be starting one at the same time (scripts/desks.sh starts several).
    local n pid
    for n in $(seq 91 140); do
      [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ] || continue
      Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
      pid=$!
      for _ in $(seq 1 100); do
        [ -e "/tmp/.X11-unix/X$n" ] || ! kill -0 "$pid" 2>/dev/null && break
        sleep 0.05
      done
      if kill -0 "$pid" 2>/dev/null && [ "$(tr -d ' \n' < "/tmp/.X$n-lock" 2>/dev/null)" = "$pid" ]; then
        display=":$n"
        echo "$pid" > "$CALLVANE_STATE/xvfb.pid"
        break
      fi
      kill "$pid" 2>/dev/null || true
    done
    [ -n "$display" ] || { echo "wine-env: no free X display" >&2; return 1; }
  fi
  export DISPLAY="$display"
  echo "$display" > "$CALLVANE_STATE/display"
  cv_prefix
  wineboot -i </dev/null >/dev/null 2>&1 || true
  # wineboot -i leaves two service managers, each running its own device
  # hosts with the same drivers (a root device then runs twice, and its
  # interface goes when one copy stops); the session starts anew with one.
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w
  wineserver -p </dev/null >/dev/null 2>&1 || true
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
  # Wine's desktop process ends 2 s after its last client; every test would
  # then start a new one that holds ctest's pipes until it ends. A waiting
  # console program keeps one desktop for the whole session.
  if ! { [ -f "$CALLVANE_STATE/holder.pid" ] && kill -0 "$(cat "$CALLVANE_STATE/holder.pid")" 2>/dev/null; }; then
    ( sleep 2147483647 </dev/null >/dev/null 2>&1 & echo $! > "$CALLVANE_STATE/holder.pid"; wait ) \
      | wine cmd /c pause >/dev/null 2>&1 &
  fi
  # The desktop itself starts with the first program that makes a window; if
  # that were a test, the desktop would inherit and hold ctest's pipes.
  # rundll32 makes its window before it finds that there is no such entry.
  wine rundll32.exe user32.dll,CallvaneStartsTheDesktop </dev/null >/dev/null 2>&1 || true
  cv_start_sound
  echo "export DISPLAY=$display"
}

# Private sound servers whose devices Wine's mixer lists. "main" has what a
# USB handset brings: a playback and a capture device named "USB Audio
# Device". The others give the layouts a machine may have instead.
cv_sound_layout() {
  case "$1" in
    main) printf '%s\n' "usbphone:USB Audio Device" "usbmic:USB Audio Device" ;;
    none) printf '%s\n' "speakers:Built-in Audio" "mic:Built-in Microphone" ;;
    usbother) printf '%s\n' "headset:USB Headset" "headsetmic:USB Headset" ;;
    multi) printf '%s\n' "hub:USB Hub Speaker" "usbphone:USB Audio Device" "usbmic:USB Audio Device" ;;
  esac
}

cv_start_sound() {
  local name dir args sources sinks entry node description
  for name in main none usbother multi; do
    dir="$CALLVANE_STATE/pulse-$name"
    if ! { [ -f "$dir/daemon.pid" ] && kill -0 "$(cat "$dir/daemon.pid")" 2>/dev/null; }; then
      mkdir -p "$dir/home" && chmod 700 "$dir"
      # Capture devices before the sinks, whose monitors are capture devices
      # too: the first time Wine meets a server's devices it lists them in the
      # server's order, which is then the order the prefix's GUIDs give.
      sources=() sinks=()
      while IFS= read -r entry; do
        node=${entry%%:*}
        description=${entry#*:}
        case "$node" in
          *mic) sources+=("--load=module-null-source source_name=$node description='$description'") ;;
          *) sinks+=("--load=module-null-sink sink_name=$node sink_properties='device.description=\"$description\"'") ;;
        esac
      done < <(cv_sound_layout "$name")
      args=(--load=module-native-protocol-unix "${sources[@]}" "${sinks[@]}")
      XDG_RUNTIME_DIR="$dir" HOME="$dir/home" pulseaudio -n --daemonize=no --exit-idle-time=-1 \
        --disallow-exit --log-target=stderr "${args[@]}" </dev/null >/dev/null 2>&1 &
      echo $! > "$dir/daemon.pid"
    fi
  done
  for name in main none usbother multi; do
    for _ in $(seq 1 100); do
      [ -S "$CALLVANE_STATE/pulse-$name/pulse/native" ] && break
      sleep 0.05
    done
    echo "export CALLVANE_PULSE_$(echo "$name" | tr a-z A-Z)=unix:$CALLVANE_STATE/pulse-$name/pulse/native"
  done
  echo "export PULSE_SERVER=unix:$CALLVANE_STATE/pulse-main/pulse/native"
}

cv_stop_sound() {
  local pidfile
  for pidfile in "$CALLVANE_STATE"/pulse-*/daemon.pid; do
    [ -f "$pidfile" ] || continue
    kill "$(cat "$pidfile")" 2>/dev/null || true
    rm -f "$pidfile"
  done
}

cv_stop() {
  cv_stop_sound
  if [ -f "$CALLVANE_STATE/holder.pid" ]; then
    kill "$(cat "$CALLVANE_STATE/holder.pid")" 2>/dev/null || true
    rm -f "$CALLVANE_STATE/holder.pid"
  fi
  wineserver -k >/dev/null 2>&1 || true
  if [ -f "$CALLVANE_STATE/xvfb.pid" ]; then
    kill "$(cat "$CALLVANE_STATE/xvfb.pid")" 2>/dev/null || true
    rm -f "$CALLVANE_STATE/xvfb.pid"
  fi
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  case "${1:-}" in
    prefix) cv_prefix ;;
    start) cv_start ;;
    stop) cv_stop ;;
    *) echo "usage: $0 prefix|start|stop" >&2; exit 2 ;;
  esac
fi
