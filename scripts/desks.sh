#!/usr/bin/env bash
# Desks: Wine sessions of their own, so that ctest can run tests side by
# side without one seeing another's windows, registry, devices or files.
# Desk 1 is the caller's session (scripts/wine-env.sh); every other desk has
# its own prefix, wineserver, Xvfb display, sound servers and a copy of the
# build's programs (tests write beside them: language files, a shortcut).
#
#   scripts/desks.sh start N           starts desks 2..N (creates their prefixes)
#   scripts/desks.sh install BUILD     copies BUILD's programs to every desk and
#                                      registers the stand-in control and the
#                                      HID bus in each (desk 1 included)
#   scripts/desks.sh resources         prints the path of ctest's file of desks
#   scripts/desks.sh run CMD...        runs CMD in the desk ctest gave the test
#                                      (CTEST_RESOURCE_GROUP_0_DESK), else desk 1
#   scripts/desks.sh each CMD...       runs CMD in every desk, one after another
#   scripts/desks.sh stop              ends desks 2..N
#
# Needs the environment of `source scripts/wine-env.sh` (desk 1's prefix).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh"
desks_dir="$CALLVANE_STATE/desks"

desk_count() { cat "$desks_dir/count" 2>/dev/null || echo 1; }

# The environment of desk n (n >= 2) in this shell; its build copy in
# desk_from/desk_to.
enter_desk() {
  local n=$1
  if [ ! -f "$desks_dir/$n.env" ]; then
    echo "desks: desk $n is not started (scripts/desks.sh start)" >&2
    exit 1
  fi
  # shellcheck disable=SC1090
  source "$desks_dir/$n.env"
  desk_from="" desk_to=""
  if [ -f "$desks_dir/$n.build" ]; then
    { read -r desk_from; read -r desk_to; } < "$desks_dir/$n.build"
  fi
}

# Runs CMD in desk n, its arguments that name the build's programs naming
# the desk's copy instead; replaces this shell.
exec_in_desk() {
  local n=$1 arg args=()
  shift
  [ "$n" = 1 ] || enter_desk "$n"
  for arg in "$@"; do
    if [ -n "${desk_from:-}" ] && [[ "$arg" == "$desk_from/bin" || "$arg" == "$desk_from/bin/"* ]]; then
      arg="$desk_to/bin${arg#"$desk_from/bin"}"
    fi
    args+=("$arg")
  done
  exec "${args[@]}"
}
run_in_desk() { ( exec_in_desk "$@" ); }

start_desk() {
  local n=$1
  local prefix="$WINEPREFIX-desk$n" state="$CALLVANE_STATE/desk$n" session
  # Every variable a script of this folder or Wine reads for its session.
  if ! session=$(
    export CALLVANE_WINEPREFIX="$prefix" CALLVANE_STATE="$state" WINEPREFIX="$prefix"
    unset CALLVANE_DISPLAY
    { "$root/scripts/wine-env.sh" prefix && "$root/scripts/wine-env.sh" start; } 2>"$desks_dir/$n.log"
  ); then
    cat "$desks_dir/$n.log" >&2
    return 1
  fi
  {
    echo "export CALLVANE_WINEPREFIX='$prefix' WINEPREFIX='$prefix' CALLVANE_STATE='$state'"
    echo "unset CALLVANE_DISPLAY"
    echo "$session"
  } > "$desks_dir/$n.env"
}

cmd_start() {
  local count=${1:-2} n pids=()
  mkdir -p "$desks_dir"
  cmd_stop
  for ((n = 2; n <= count; n++)); do
    start_desk "$n" & pids+=($!)
  done
  for pid in "${pids[@]}"; do wait "$pid"; done
  echo "$count" > "$desks_dir/count"
  # One "desk" resource per desk, one test at a time on each.
  {
    printf '{"version": {"major": 1, "minor": 0}, "local": [{"desk": ['
    for ((n = 1; n <= count; n++)); do
      printf '%s{"id": "%d", "slots": 1}' "$([ "$n" = 1 ] || echo ', ')" "$n"
    done
    printf ']}]}\n'
  } > "$desks_dir/resources.json"
}

# The programs and what tests read beside them; the journals every desk
# saves go to the build's own folder.
copy_build() {
  local from=$1 to=$2 name
  rm -rf "$to"
  mkdir -p "$to" "$from/e2e-artefacts"
  cp -a "$from/bin" "$to/bin"
  for name in planted CallvaneSetup.exe Callvane-portable.zip; do
    [ ! -e "$from/$name" ] || cp -a "$from/$name" "$to/$name"
  done
  ln -s "$from/e2e-artefacts" "$to/e2e-artefacts"
}

cmd_install() {
  local build n pids=()
  build=$(cd "$1" && pwd)
  for ((n = 2; n <= $(desk_count); n++)); do
    copy_build "$build" "$build/desks/$n"
    printf '%s\n%s\n' "$build" "$build/desks/$n" > "$desks_dir/$n.build"
  done
  for ((n = 1; n <= $(desk_count); n++)); do
    (
      run_in_desk "$n" "$root/scripts/register-sim.sh" "$build/bin"
      run_in_desk "$n" "$root/scripts/install-hid-sim.sh" "$build/bin"
    ) </dev/null 2>"$desks_dir/install-$n.log" & pids+=($!)
  done
  local status=0
  for ((n = 0; n < ${#pids[@]}; n++)); do
    wait "${pids[$n]}" || { status=1; cat "$desks_dir/install-$((n + 1)).log" >&2; }
  done
  return $status
}

cmd_stop() {
  local n
  for ((n = 2; n <= $(desk_count); n++)); do
    [ -f "$desks_dir/$n.env" ] || continue
    ( enter_desk "$n"; "$root/scripts/wine-env.sh" stop )
    rm -f "$desks_dir/$n.env" "$desks_dir/$n.build"
  done
  rm -f "$desks_dir/count"
}

case "${1:-}" in
  start) cmd_start "${2:-2}" ;;
  install) cmd_install "${2:?build folder}" ;;
  resources) echo "$desks_dir/resources.json" ;;
  run)
    shift
    desk=${CTEST_RESOURCE_GROUP_0_DESK:-id:1}
    desk=${desk#id:}
    exec_in_desk "${desk%%,*}" "$@"
    ;;
  each)
    shift
    for ((n = 1; n <= $(desk_count); n++)); do run_in_desk "$n" "$@"; done
    ;;
  stop) cmd_stop ;;
  *) echo "usage: $0 start N|install BUILD|resources|run CMD...|each CMD...|stop" >&2; exit 2 ;;
esac
