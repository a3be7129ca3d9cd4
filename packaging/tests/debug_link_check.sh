#!/bin/bash
# Checks a program as a package ships it: no debug sections, and a .gnu_debuglink that names the debug
# file kept in the build and carries that file's CRC-32, so that a debugger takes that very file.
# usage: debug_link_check.sh <objdump> <shipped program> <debug file>
set -uo pipefail
if [ $# -ne 3 ]; then
  echo "usage: debug_link_check.sh <objdump> <shipped program> <debug file>" >&2
  exit 2
fi
objdump=$1 program=$2 debug=$3
name=$(basename "$program")
failures=0
fail() {
  echo "FAIL: $name: $*" >&2
  failures=$((failures + 1))
}

sections=$("$objdump" -h "$program" | awk '$1 ~ /^[0-9]+$/ { print $2 }')
shipped_debug=$(grep '^\.debug_' <<<"$sections" | tr '\n' ' ')
[ -z "$shipped_debug" ] || fail "ships debug sections: $shipped_debug"
[ -f "$debug" ] || fail "no debug file $debug"

if ! grep -qx '\.gnu_debuglink' <<<"$sections"; then
  fail "no .gnu_debuglink"
else
  # The section's bytes in hex: the file name, a zero, padding to four bytes, the CRC (little-endian).
  link=$("$objdump" -s -j .gnu_debuglink "$program" | awk '/^ [0-9a-f]+ / { for (i = 2; i <= 5; i++) if ($i ~ /^[0-9a-f]+$/) printf "%s", $i }')
  read -r name_hex crc < <(awk '{ for (i = 1; i < length($0); i += 2) if (substr($0, i, 2) == "00") {
      at = int(((i - 1) / 2 + 4) / 4) * 4; print substr($0, 1, i - 1), substr($0, at * 2 + 1, 8); exit } }' <<<"$link")
  linked=$(printf '%s' "$name_hex" | sed 's/../\\x&/g' | xargs -0 printf '%b')
  [ "$linked" = "$(basename "$debug")" ] || fail "the debug link names '$linked', not $(basename "$debug")"
  # gzip's trailer carries the same CRC-32 of the data, little-endian.
  if [ -f "$debug" ]; then
    expected=$(gzip -c "$debug" | tail -c 8 | head -c 4 | od -An -tx1 | tr -d ' \n')
    [ "$crc" = "$expected" ] || fail "the debug link's CRC $crc is not that of $debug ($expected)"
  fi
fi
[ "$failures" -eq 0 ]
