#!/usr/bin/env bash
# Builds the 32-bit Callvane, registers the stand-in handset and runs the
# benchmarks of CallvaneBench.exe under Wine on a private display; prints the
# ratio table (Callvane against a minimal tray program run beside it, and key
# latency against its floor), then the table of all results, with the machine
# they came from, and keeps a copy in build/bench-results.md. See
# docs/PERFORMANCE.md.
#
#   scripts/bench.sh [--quick] [watch|startup|latency|latency-hid|growth|idle|idle-nohandset ...]
#
# Without names every benchmark runs, the two idle ones last (idle-nohandset:
# the maker's control registered, no handset plugged in, no HID handset;
# latency-hid: the keys of a virtual HID handset, the maker's unplugged).
# Sizes (defaults in brackets):
#   CALLVANE_BENCH_IDLE_SECONDS [600]   each idle measurement
#   CALLVANE_BENCH_PASSES [100000]      watch passes for the growth check
#   CALLVANE_BENCH_KEYS [1000]          handset keys for the latency
#   CALLVANE_BENCH_STARTS [20]          starts for the start-up time
#   CALLVANE_BENCH_WINDOWS [100,1000,10000] and CALLVANE_BENCH_DEPTH [1000]
#                                       windows for the watch pass cost
# --quick sets small defaults (a run of about a minute).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

quick=0
names=()
for arg in "$@"; do
  case "$arg" in
    --quick) quick=1 ;;
    watch|startup|latency|latency-hid|growth|idle|idle-nohandset) names+=("$arg") ;;
    *) echo "usage: scripts/bench.sh [--quick] [watch|startup|latency|latency-hid|growth|idle|idle-nohandset ...]" >&2; exit 3 ;;
  esac
done
[ ${#names[@]} -gt 0 ] || names=(watch startup latency latency-hid growth idle idle-nohandset)
if [ "$quick" = 1 ]; then
  : "${CALLVANE_BENCH_IDLE_SECONDS:=20}" "${CALLVANE_BENCH_PASSES:=3000}" "${CALLVANE_BENCH_KEYS:=100}"
  : "${CALLVANE_BENCH_STARTS:=5}" "${CALLVANE_BENCH_WINDOWS:=100,1000}" "${CALLVANE_BENCH_DEPTH:=200}"
fi
idle_seconds=${CALLVANE_BENCH_IDLE_SECONDS:-600}
passes=${CALLVANE_BENCH_PASSES:-100000}
keys=${CALLVANE_BENCH_KEYS:-1000}
starts=${CALLVANE_BENCH_STARTS:-20}
windows=${CALLVANE_BENCH_WINDOWS:-100,1000,10000}
depth=${CALLVANE_BENCH_DEPTH:-1000}

"$root/scripts/setup.sh"
# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh"
# Wine's services must be running before anything else starts wine.
eval "$("$root/scripts/wine-env.sh" start)"
trap '"$root/scripts/wine-env.sh" stop' EXIT

build="$root/build/i686"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" >/dev/null
fi
echo "bench: building" >&2
cmake --build "$build" --target CallvaneBench hidhandsetctl >/dev/null
# The stand-in handset control, as the maker's installer would register it.
"$root/scripts/register-sim.sh" "$build/bin"
# The virtual HID handsets' bus, for latency-hid.
"$root/scripts/install-hid-sim.sh" "$build/bin"

out=$(mktemp)
trap 'rm -f "$out"; "$root/scripts/wine-env.sh" stop' EXIT
status=0
cd "$build/bin"
for name in "${names[@]}"; do
  case "$name" in
    watch) args=(watch "$windows" "$depth") ;;
    startup) args=(startup "$starts") ;;
    latency|latency-hid) args=("$name" "$keys") ;;
    growth) args=(growth "$passes") ;;
    idle) args=(idle "$idle_seconds") ;;
    idle-nohandset) args=(idle-nohandset "$idle_seconds") ;;
  esac
  echo "bench: ${args[*]}" >&2
  if ! wine CallvaneBench.exe "${args[@]}" </dev/null | tr -d '\r' >>"$out"; then
    echo "- $name: did not complete" >>"$out"
    status=1
  fi
done

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
{
  echo "Machine: ${cpu:-unknown CPU}, $(nproc) cores, $(uname -sr), $(wine --version 2>/dev/null), load average $(cut -d' ' -f1-3 /proc/loadavg) at the end"
  echo "Date: $(date -u '+%Y-%m-%d %H:%M UTC'); sizes: idle ${idle_seconds} s, ${passes} passes, ${keys} keys, ${starts} starts, windows ${windows}, depth ${depth}"
  echo
  # The ratios first: Callvane against the reference tray program (or, for
  # key latency, the floor), measured side by side in the same run.
  echo "| | Figure | Ratio | Callvane | Reference | Target | | Conditions |"
  echo "|---|---|---|---|---|---|---|---|"
  grep '^| ratio |' "$out" || true
  echo
  echo "| Benchmark | Measure | Result | Target | |"
  echo "|---|---|---|---|---|"
  grep '^|' "$out" | grep -v '^| ratio |' || true
  echo
  grep '^- ' "$out" || true
} | tee "$root/build/bench-results.md"
exit $status
