#!/bin/bash
# Installs the MSI for real in a Wine prefix of its own under the build tree: presetting the server
# with HOSTNAME, keeping the settings without it and on uninstalling, a major upgrade and a refused
# downgrade.
# usage: msi_test.sh <wine> <prefix> <build tree> <package.msi> <newer package.msi> <view: 32|64> <with-cli: 0|1>
set -uo pipefail
if [ $# -ne 7 ]; then
  echo "usage: msi_test.sh <wine> <prefix> <build tree> <package.msi> <newer package.msi> <view: 32|64> <with-cli: 0|1>" >&2
  exit 2
fi
wine=$1 prefix=$2 tree=$3 msi=$4 newer=$5 view=$6 with_cli=$7
wineserver="$(dirname "$wine")/wineserver"

# The prefix is wiped and made anew: never anything outside the build tree.
tree=$(realpath -m "$tree") prefix=$(realpath -m "$prefix")
if [[ "$prefix" != "$tree"/?* ]]; then
  echo "refused: the Wine prefix $prefix is not under the build tree $tree" >&2
  exit 2
fi
# No menu entries or file associations for the desktop of whoever runs the tests.
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
rm -rf "$prefix"
if ! "$wine" wineboot -i >/dev/null 2>&1; then
  echo "could not make the Wine prefix $prefix" >&2
  exit 1
fi
trap '"$wineserver" -k 2>/dev/null' EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

if [ "$view" = 32 ]; then
  folder="$prefix/drive_c/Program Files (x86)/Qor/Corvix" other_view=64
else
  folder="$prefix/drive_c/Program Files/Qor/Corvix" other_view=32
fi
programs=(CorvixTcpIp.exe)
if [ "$with_cli" = 1 ]; then programs+=(CorvixTcpIpCli.exe); fi
key='HKLM\Software\Qor\Corvix\TcpIp'
product='Corvix Tcp/Ip Configuration'

msiexec() { "$wine" msiexec "$@" >/dev/null 2>&1; }
# "<type> <data>" of a settings value in a registry view, or nothing.
value() { "$wine" reg query "$key" /v "$1" "/reg:${2:-$view}" 2>/dev/null | tr -d '\r' | awk -v name="$1" '$1 == name { print $2, $3 }'; }
expect_value() {
  local found
  found=$(value "$1")
  [ "$found" = "$2" ] || fail "$3: $1 is '${found:-missing}', expected '$2'"
}
shortcut() { find "$prefix/drive_c" -name 'Tcp-Ip Configuration.lnk' 2>/dev/null; }
expect_installed() {
  for program in "${programs[@]}"; do
    [ -f "$folder/$program" ] || fail "$1: $folder/$program is missing"
  done
  [ "$with_cli" = 0 ] && [ -e "$folder/CorvixTcpIpCli.exe" ] && fail "$1: a command-line program this build has not"
  if [ "$with_cli" = 1 ] && ! grep -qF 'CorvixTcpIpCli.exe" check ' "$folder/monitoring/nsclient.ini" 2>/dev/null; then
    fail "$1: no NSClient++ definition in $folder/monitoring"
  fi
  [ -n "$(shortcut)" ] || fail "$1: no Start-menu shortcut"
}
expect_removed() {
  [ -e "$folder" ] && fail "$1: $folder is still there: $(ls -A "$folder")"
  [ -n "$(shortcut)" ] && fail "$1: the shortcut is still there: $(shortcut)"
}
# The installed products of this package's family: one line each.
products() { "$wine" uninstaller --list 2>/dev/null | tr -d '\r' | grep -F "|||$product"; }

msiexec /i "$msi" /qn HOSTNAME=corvix-server || fail "install with HOSTNAME failed"
expect_installed "install with HOSTNAME"
expect_value HostName "REG_SZ corvix-server" "install with HOSTNAME"
expect_value HostPort "REG_DWORD 0xea" "install with HOSTNAME"
[ -z "$(value HostName "$other_view")" ] || fail "the settings were written to the $other_view-bit view too"

# An administrator's own value, which no install without HOSTNAME may touch.
"$wine" reg add "$key" /v HostName /t REG_SZ /d admin-set /f "/reg:$view" >/dev/null 2>&1
msiexec /i "$msi" /qn || fail "a second install without HOSTNAME failed"
expect_value HostName "REG_SZ admin-set" "second install without HOSTNAME"

msiexec /x "$msi" /qn || fail "uninstall failed"
expect_removed "uninstall"
expect_value HostName "REG_SZ admin-set" "uninstall"
expect_value HostPort "REG_DWORD 0xea" "uninstall"

msiexec /i "$msi" /qn || fail "a fresh install without HOSTNAME failed"
expect_installed "fresh install without HOSTNAME"
expect_value HostName "REG_SZ admin-set" "fresh install without HOSTNAME"

msiexec /i "$newer" /qn HOSTNAME=second-server || fail "the newer package did not install"
expect_installed "major upgrade"
expect_value HostName "REG_SZ second-server" "major upgrade"
[ "$(products | wc -l)" = 1 ] || fail "after the upgrade the installed products are: $(products)"

# Refused with 1603; a Unix exit status keeps its low byte, 67.
msiexec /i "$msi" /qn
status=$?
[ "$status" = 67 ] || [ "$status" = 1603 ] || fail "the older package installed over the newer one (status $status)"
[ "$(products | wc -l)" = 1 ] || fail "after the refused downgrade the installed products are: $(products)"
expect_installed "refused downgrade"

msiexec /x "$newer" /qn || fail "uninstalling the newer package failed"
expect_removed "uninstalling the newer package"
[ -z "$(products)" ] || fail "still installed: $(products)"
expect_value HostName "REG_SZ second-server" "uninstalling the newer package"

[ "$failures" -eq 0 ] || exit 1
echo "ok: $msi"
