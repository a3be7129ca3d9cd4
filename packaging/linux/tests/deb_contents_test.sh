#!/bin/bash
# Checks what the .deb holds and declares, without installing it.
# usage: deb_contents_test.sh <package.deb> <registry dir> <with-cli: 0|1> <objdump> <debug dir>
set -uo pipefail
if [ $# -ne 5 ]; then
  echo "usage: deb_contents_test.sh <package.deb> <registry dir> <with-cli: 0|1> <objdump> <debug dir>" >&2
  exit 2
fi
deb=$1 registry=${2%/} with_cli=$3 objdump=$4 debug_dir=$5
here=$(dirname "$(realpath "$0")")
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work/root" || exit 1
dpkg-deb -e "$deb" "$work/control" || exit 1

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

# The programs stripped, each linked to its debug file in the build.
for program in "${programs[@]}"; do
  bash "$here/../../tests/debug_link_check.sh" "$objdump" "$work/root/opt/qor/corvix/$program" "$debug_dir/$program.debug" ||
    failures=$((failures + 1))
done

# One main category, and nothing else that desktop-file-validate would remark on.
validation=$(desktop-file-validate "$work/root/usr/share/applications/corvix-tcpip.desktop" 2>&1)
[ -z "$validation" ] || fail "desktop-file-validate: $validation"

# Purge cleans up beside the programs; with the command-line program, debconf presets the server.
[ -x "$work/control/postrm" ] || fail "no postrm"
if [ "$with_cli" = 1 ]; then
  for script in config postinst; do
    [ -x "$work/control/$script" ] || fail "no $script"
  done
  grep -qx 'Template: corvix-tcpip/hostname' "$work/control/templates" 2>/dev/null ||
    fail "no corvix-tcpip/hostname template: $(cat "$work/control/templates" 2>&1)"
else
  for script in config postinst templates; do
    [ -e "$work/control/$script" ] && fail "a $script without the command-line program to store its answer"
  done
fi

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = corvix-tcpip ] || fail "Package is '$(field Package)'"
depends=$(field Depends)
# The Qt 6 runtime comes from the dependencies that dpkg-shlibdeps computed from the program.
for library in libqt6widgets6 libqt6gui6 libqt6core6 libc6 libstdc++6; do
  [[ ", $depends," == *", $library "* || ", $depends," == *", $library,"* ]] || fail "Depends lacks $library: $depends"
done
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
if [ "$with_cli" = 1 ]; then
  [[ ", $depends," == *", debconf (>= 0.5) | debconf-2.0,"* ]] || fail "Depends lacks debconf: $depends"
fi

[ "$failures" -eq 0 ] || exit 1
echo "ok: $deb"
