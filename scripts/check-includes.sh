#!/usr/bin/env bash
# The rooms of src/ and who may include whom. The handset side (src/phone)
# and the messenger side (src/messenger) meet only through the main dialog's
# interfaces and src/link: neither includes the other, nor the main dialog's
# folder; both may read the settings. The settings and language files and the
# mixer (src/settings) know nothing of the dialogs that show them (src/app).
# The framework and the trace facility stand under everything. Prints each
# include that breaks this and fails if there is one.
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
check settings 'app|phone|messenger|link'
check framework 'app|phone|messenger|settings|link'
check trace 'app|phone|messenger|settings|link'
exit $bad
