#!/usr/bin/env bash
# Checks that each language's catalogue translates every message of the sources: extracts the
# messages anew with xgettext, merges them into a copy of the catalogue with msgmerge, and
# checks the copy with msgfmt --check --statistics, which must find nothing untranslated and
# nothing fuzzy (a message changed in the sources comes out fuzzy, a new one untranslated).
#
# Usage: check-catalogue.sh WORK_DIR LANGUAGE... -- XGETTEXT_COMMAND...
set -euo pipefail
po=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$1
shift
languages=()
while [ "$1" != "--" ]; do
  languages+=("$1")
  shift
done
shift
mkdir -p "$work"
"$@" -o "$work/messages.pot"
failed=0
for lang in "${languages[@]}"; do
  msgmerge --quiet --no-fuzzy-matching -o "$work/$lang.po" "$po/$lang.po" "$work/messages.pot"
  statistics=$(LC_ALL=C msgfmt --check --statistics -o /dev/null "$work/$lang.po" 2>&1) || {
    echo "$lang.po: msgfmt --check failed: $statistics"
    failed=1
    continue
  }
  echo "$lang.po: $statistics"
  if grep -Eq 'untranslated|fuzzy' <<<"$statistics"; then
    echo "$lang.po does not translate every message; the ones missing:"
    msgattrib --untranslated "$work/$lang.po" | grep '^msgid' || true
    msgattrib --only-fuzzy "$work/$lang.po" | grep '^msgid' || true
    failed=1
  fi
  # A message no source has any more stays in the catalogue as obsolete (#~): not allowed.
  if grep -q '^#~' "$work/$lang.po"; then
    echo "$lang.po holds messages that no source has any more (ninja tsugihagi-update-po)"
    failed=1
  fi
done
exit "$failed"
