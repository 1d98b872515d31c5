#!/usr/bin/env bash
# The handset side (src/phone) and the messenger side (src/messenger) meet
# only through the main dialog's interfaces and src/link: neither includes
# the other, nor the main dialog's folder. Prints each include that breaks
# this and fails if there is one.
set -u
src=${1:-$(cd "$(dirname "$0")/../src" && pwd)}
bad=0
check() {
  local side=$1 forbidden=$2
  if grep -nE "^[[:space:]]*#[[:space:]]*include[[:space:]]*\"($forbidden)/" "$src/$side"/*; then
    bad=1
  fi
}
check phone 'app|messenger'
check messenger 'app|phone'
exit $bad
