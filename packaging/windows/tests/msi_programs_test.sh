#!/bin/bash
# Checks the programs as the MSI holds them: stripped, each linked to its debug file in the build, the
# version resource of the project's version, and the window's icon in every size.
# usage: msi_programs_test.sh <package.msi> <objdump> <debug dir> <version> <with-cli: 0|1>
set -uo pipefail
if [ $# -ne 5 ]; then
  echo "usage: msi_programs_test.sh <package.msi> <objdump> <debug dir> <version> <with-cli: 0|1>" >&2
  exit 2
fi
msi=$(realpath "$1") objdump=$2 debug_dir=$3 version=$4 with_cli=$5
here=$(dirname "$(realpath "$0")")
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$work" && msiextract "$msi" >/dev/null) || { echo "FAIL: msiextract $msi" >&2; exit 1; }
programs=(CorvixTcpIp.exe)
if [ "$with_cli" = 1 ]; then programs+=(CorvixTcpIpCli.exe); fi

for program in "${programs[@]}"; do
  file=$(find "$work" -type f -name "$program")
  if [ -z "$file" ]; then
    fail "$program is not in the package"
    continue
  fi
  bash "$here/../../tests/debug_link_check.sh" "$objdump" "$file" "$debug_dir/$program.debug" ||
    failures=$((failures + 1))

  # The version resource (RT_VERSION): the fixed part's file and product versions, which Windows
  # Installer compares.
  wrestool -x --raw -t16 "$file" >"$work/version.bin" 2>/dev/null
  # VS_FIXEDFILEINFO follows its signature 0xFEEF04BD and struct version: the file version's most
  # and least significant double words, then the product version's, each two little-endian 16-bit
  # halves, low half first.
  at=$(LC_ALL=C grep -obUaP '\xbd\x04\xef\xfe' "$work/version.bin" | head -n 1 | cut -d: -f1)
  fixed=""
  if [ -n "$at" ]; then
    fixed=$(od -An -v -tu2 -j $((at + 8)) -N 16 "$work/version.bin" | tr -s ' \n' ' ' |
      awk '{ print $2 "." $1 "." $4 "." $3, $6 "." $5 "." $8 "." $7 }')
  fi
  [ "$fixed" = "$version.0 $version.0" ] || fail "$program: the version resource's fixed versions are '${fixed:-missing}', expected $version.0"
done

# The window's icon has the sizes that Windows asks for most: small, shortcut, large and extra large.
window=$(find "$work" -type f -name CorvixTcpIp.exe)
if [ -n "$window" ]; then
  mkdir "$work/icon"
  wrestool -x -t14 -o "$work/icon" "$window" 2>/dev/null
  sizes=$(for ico in "$work"/icon/*; do icotool -l "$ico"; done | sed -nE 's/.*--width=([0-9]+).*/\1/p' | sort -n | tr '\n' ' ')
  for size in 16 32 48 256; do
    [[ " $sizes" == *" $size "* ]] || fail "CorvixTcpIp.exe's icon has no $size-pixel image, only '${sizes:-none}'"
  done
fi

[ "$failures" -eq 0 ] || exit 1
echo "ok: the programs in $msi"
