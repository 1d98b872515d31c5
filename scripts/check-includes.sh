#!/usr/bin/env bash
# The rooms of src/ and who may include whom. The handset side (src/phone)
# and the messenger side (src/messenger) meet only through the main dialog's
# interfaces and src/link: neither includes the other, nor the main dialog's
# folder; both may read the settings. The settings and language files and the
# mixer (src/settings) know nothing of the dialogs that show them (src/app).
# The framework and the trace facility stand under everything; the trace
# facility knows no room's texts and neither windows' classes nor the mixer.
# A room's names and texts (its *Ids.h) are included only inside the room.
# The stand-ins (sim/, beside src/) read only the headers they share with the
# program, which hold data and include nothing of the program's.
# Prints each include that breaks this and fails if there is one.
set -u
src=${1:-$(cd "$(dirname "$0")/../src" && pwd)}
sim=$src/../sim
shared='phone/MakerControl\.h|messenger/MessengerWindows\.h|settings/WindowTexts\.h'
bad=0
include='^[[:space:]]*#[[:space:]]*include[[:space:]]*'
check() {
  local side=$1 forbidden=$2
  if grep -nE "$include\"($forbidden)/" "$src/$side"/*; then
    bad=1
  fi
}
check phone 'app|messenger'
check messenger 'app|phone'
check settings 'app|phone|messenger|link'
check framework 'app|phone|messenger|settings|link'
check trace 'app|phone|messenger|settings|link'
if grep -nE "$include<mm(system|eapi)\.h>" "$src"/trace/*; then
  bad=1
fi
for room in "$src"/*/; do
  room=$(basename "$room")
  if find "$src" -path "$src/$room" -prune -o -type f -print0 |
    xargs -0 grep -nE "$include\"$room/[A-Za-z]*Ids\.h\""; then
    bad=1
  fi
done
for header in $(echo "$shared" | tr '|' ' ' | tr -d '\\'); do
  if grep -nE "$include\"" "$src/$header"; then
    bad=1
  fi
done
if [ -d "$sim" ] && grep -rnE "$include\"(app|framework|link|messenger|phone|settings|trace)/" "$sim" |
  grep -vE "\"($shared)\""; then
  bad=1
fi
exit $bad
