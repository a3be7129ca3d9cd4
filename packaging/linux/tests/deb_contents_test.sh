#!/bin/bash
# Checks what the .deb holds and declares, without installing it.
# usage: deb_contents_test.sh <package.deb> <registry dir> <with-cli: 0|1>
set -uo pipefail
if [ $# -ne 3 ]; then
  echo "usage: deb_contents_test.sh <package.deb> <registry dir> <with-cli: 0|1>" >&2
  exit 2
fi
deb=$1 registry=${2%/} with_cli=$3
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

contents=$(dpkg-deb --contents "$deb") || exit 1
# Each line: mode, owner, size, date, time, path and, for a link, "-> target".
entry() { awk -v path="./$1" '$6 == path { print $1 " " $6 " " $7 " " $8 }' <<<"$contents"; }
expect() {
  local found
  found=$(entry "$1")
  [[ "$found" =~ $2 ]] || fail "$1: expected /$2/, found '${found:-nothing}'"
}

programs=(corvix-tcpip)
if [ "$with_cli" = 1 ]; then programs+=(corvix-tcpip-cli); fi
for program in "${programs[@]}"; do
  expect "opt/qor/corvix/$program" "^-rwxr-xr-x "
  expect "usr/bin/$program" "^lrwxrwxrwx .* -> /opt/qor/corvix/$program\$"
  expect "usr/share/man/man1/$program.1.gz" "^-rw-r--r-- "
done
if [ "$with_cli" = 0 ] && [ -n "$(entry opt/qor/corvix/corvix-tcpip-cli)" ]; then
  fail "the command-line program is in the package, but this build has none"
fi
expect usr/share/applications/corvix-tcpip.desktop "^-rw-r--r-- "
expect usr/share/icons/hicolor/scalable/apps/corvix-tcpip.svg "^-rw-r--r-- "
expect usr/share/doc/corvix-tcpip/README.md "^-rw-r--r-- "
expect usr/share/doc/corvix-tcpip/copyright "^-rw-r--r-- "
expect "${registry#/}/" "^drwxr-xr-x "
# The hive is the machine's own configuration: the package never ships one.
if grep -q " \./${registry#/}/." <<<"$contents"; then
  fail "the package ships files in $registry:"$'\n'"$(grep " \./${registry#/}/." <<<"$contents")"
fi
# Nothing besides the programs may land in /opt/qor/corvix: it is where their logs are written.
unexpected=$(awk '$6 ~ "^\\./opt/" && $6 !~ "/$" { print $6 }' <<<"$contents" |
  grep -vxF -f <(printf './opt/qor/corvix/%s\n' "${programs[@]}"))
[ -z "$unexpected" ] || fail "unexpected files in /opt: $unexpected"

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = corvix-tcpip ] || fail "Package is '$(field Package)'"
depends=$(field Depends)
# The Qt 6 runtime comes from the dependencies that dpkg-shlibdeps computed from the program.
for library in libqt6widgets6 libqt6gui6 libqt6core6 libc6 libstdc++6; do
  [[ ", $depends," == *", $library "* || ", $depends," == *", $library,"* ]] || fail "Depends lacks $library: $depends"
done
[ -n "$(field Maintainer)" ] || fail "no Maintainer"

[ "$failures" -eq 0 ] || exit 1
echo "ok: $deb"
