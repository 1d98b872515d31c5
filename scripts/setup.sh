#!/usr/bin/env bash
# Installs what building and testing Callvane needs on a Debian machine, and
# creates the 32-bit Wine prefix used by the tests. Idempotent: a second run
# with everything present only checks and returns.
set -euo pipefail

PACKAGES=(
  cmake ninja-build make python3
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools
  googletest
  nsis
  wine wine32:i386
  # Wine's own fonts (Tahoma, Marlett for the title-bar buttons, ...) are only
  # recommended by Wine's packages; a CJK font for the messenger's Chinese.
  fonts-wine fonts-wqy-microhei
  xvfb xdotool imagemagick x11-apps x11-utils
  pulseaudio pulseaudio-utils
)

need_install=()
have_i386=0
dpkg --print-foreign-architectures | grep -qx i386 && have_i386=1
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need_install+=("$p")
done

if [ "${#need_install[@]}" -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  if [ "$have_i386" -eq 0 ]; then
    $SUDO dpkg --add-architecture i386
  fi
  echo "setup: installing ${need_install[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${need_install[@]}" >/dev/null
fi

# The prefix lives outside the source tree; tests and the demo share it.
here=$(cd "$(dirname "$0")" && pwd)
"$here/wine-env.sh" prefix
