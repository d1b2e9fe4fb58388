#!/usr/bin/env bash
# The module as it ships: no debug information, within its size budget, the platform's exploit
# mitigations on, no link time and no build path inside.
#   binary_test.sh MODULE OBJDUMP 32|64 SOURCE_DIR BUILD_DIR
set -uo pipefail
module=$1 objdump=$2 bits=$3
failures=0
check() { if eval "$2"; then echo "ok - $1"; else echo "not ok - $1"; failures=$((failures + 1)); fi; }

headers=$(TZ=UTC "$objdump" -h -p "$module") || exit 1
check "no debug sections" '! grep -q " \.debug_" <<<"$headers"'
check "at most 512 KB ($(stat -c %s "$module") bytes)" '[ $(stat -c %s "$module") -le 524288 ]'
check "address space layout randomisation and no-execute data" \
  'grep -q "^[[:space:]]*DYNAMIC_BASE" <<<"$headers" && grep -q "^[[:space:]]*NX_COMPAT" <<<"$headers"'
[ "$bits" = 64 ] && check "high-entropy address space layout randomisation" \
  'grep -q "^[[:space:]]*HIGH_ENTROPY_VA" <<<"$headers"'
check "no link time in the header" 'grep -q "^Time/Date.*1970" <<<"$headers"'
for dir in "${@:4}"; do
  check "no build path ($dir)" '! grep -q -a -F "$dir" "$module"'
done
echo "$failures failed"
[ $failures -eq 0 ]
