#!/bin/bash
# Installs the MSI for real in a 64-bit Wine prefix of its own under the build tree, as on users'
# machines: refused before Windows 8; presetting the server with HOSTNAME, keeping the settings
# without it, through a repair and on uninstalling; the icon; a rebuild of the same version replacing
# the installed one; a major upgrade and a refused downgrade. Given the other processor's package, the
# two install side by side as products of their own.
# usage: msi_test.sh <wine> <prefix> <build tree> <package.msi> <newer package.msi> <rebuilt package.msi>
#                    <view: 32|64> <with-cli: 0|1> <product name> <shortcut name> <icon> [<other package.msi>]
set -uo pipefail
if [ $# -lt 11 ] || [ $# -gt 12 ]; then
  echo "usage: msi_test.sh <wine> <prefix> <build tree> <package.msi> <newer package.msi> <rebuilt package.msi> <view: 32|64> <with-cli: 0|1> <product name> <shortcut name> <icon> [<other package.msi>]" >&2
  exit 2
fi
wine=$1 prefix=$2 tree=$3 msi=$4 newer=$5 rebuilt=$6 view=$7 with_cli=$8 product=$9 shortcut_name=${10} icon=${11}
other=${12:-}
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

msiexec() { "$wine" msiexec "$@" >/dev/null 2>&1; }
windows_version() { "$wine" winecfg -v "$1" >/dev/null 2>&1; }
# "<type> <data>" of a settings value in a registry view, or nothing.
value() { "$wine" reg query "$key" /v "$1" "/reg:${2:-$view}" 2>/dev/null | tr -d '\r' | awk -v name="$1" '$1 == name { print $2, $3 }'; }
expect_value() {
  local found
  found=$(value "$1")
  [ "$found" = "$2" ] || fail "$3: $1 is '${found:-missing}', expected '$2'"
}
shortcut_of() { find "$prefix/drive_c" -name "$1.lnk" 2>/dev/null; }
shortcut() { shortcut_of "$shortcut_name"; }
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
# The installed products of this package's name ("<ProductCode>|||<name>"), one line each.
products_named() { "$wine" uninstaller --list 2>/dev/null | tr -d '\r' | awk -F'[|][|][|]' -v name="$1" '$2 == name'; }
products() { products_named "$product"; }
# A refused install ends with 1603; a Unix exit status keeps its low byte, 67.
refused() { [ "$1" = 67 ] || [ "$1" = 1603 ]; }

# A fresh Wine prefix says Windows 7: the launch condition refuses it, and installs nothing.
windows_version win7
msiexec /i "$msi" /qn HOSTNAME=corvix-server
status=$?
refused "$status" || fail "the package installed on Windows 7 (status $status)"
[ -z "$(products)" ] || fail "installed on Windows 7: $(products)"
[ -e "$folder" ] && fail "Windows 7: $folder was made"
[ -z "$(value HostName)" ] || fail "Windows 7: the settings were written"
windows_version win10

msiexec /i "$msi" /qn HOSTNAME=corvix-server || fail "install with HOSTNAME failed"
expect_installed "install with HOSTNAME"
expect_value HostName "REG_SZ corvix-server" "install with HOSTNAME"
expect_value HostPort "REG_DWORD 0xea" "install with HOSTNAME"
[ -z "$(value HostName "$other_view")" ] || fail "the settings were written to the $other_view-bit view too"

# The product's icon, which Programs and Features shows, is the built .ico. (The shortcut's icon is the
# same table entry, msi.tables checks it; Wine's shortcuts do not always record it.)
code=$(products | cut -d'|' -f1)
# The only product installed in the prefix: its registration's ProductIcon.
product_icon=$("$wine" reg query 'HKLM\Software\Classes\Installer\Products' /s 2>/dev/null | tr -d '\r' |
  awk '$1 == "ProductIcon" { $1 = ""; $2 = ""; sub(/^ +/, ""); print }')
if [ -z "$product_icon" ]; then
  fail "no ProductIcon registered for $code"
else
  unix_icon=$("$wine" winepath -u "$product_icon" 2>/dev/null)
  cmp -s "$unix_icon" "$icon" || fail "the product icon $product_icon is not the built $icon"
fi

# A repair without HOSTNAME rewrites the settings component's values with the host name that HOSTNAME
# stored, not an empty one. Wine's msiexec /f does not run a repair: REINSTALL=ALL through /i is the
# same reinstall of every feature.
repair_log=$prefix/repair.log
msiexec /i "$msi" REINSTALL=ALL REINSTALLMODE=omus /qn /l*v "$(
  "$wine" winepath -w "$repair_log" 2>/dev/null | tr -d '\r'
)" || fail "the repair failed"
expect_value HostName "REG_SZ corvix-server" "repair"
expect_value HostPort "REG_DWORD 0xea" "repair"
tr -d '\r' <"$repair_log" | grep -q 'Name: HostName, Value: corvix-server$' ||
  fail "the repair did not write the stored host name back: $(tr -d '\r' <"$repair_log" | grep -a 'Name: HostName')"

# The event source of the settings records, its messages in the installed window program; the
# installed command-line program's set-host leaves its record there (Wine's event log traces it).
source_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\CorvixTcpIp'
source_value() { "$wine" reg query "$source_key" /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *//p"; }
windows_folder=$("$wine" winepath -w "$folder" 2>/dev/null | tr -d '\r')
[ "$(source_value EventMessageFile)" = "REG_EXPAND_SZ    $windows_folder\CorvixTcpIp.exe" ] ||
  fail "the event source's message file is '$(source_value EventMessageFile)'"
[ "$(source_value TypesSupported)" = "REG_DWORD    0x7" ] || fail "the event source's types are '$(source_value TypesSupported)'"
if [ "$with_cli" = 1 ]; then
  record=$(WINEDEBUG=-all,trace+eventlog "$wine" "$windows_folder\CorvixTcpIpCli.exe" set-host corvix-server 2>&1 >/dev/null |
    tr -d '\r' | grep ':eventlog:ReportEventW')
  [[ "$record" == *'L"settings stored; user \"'*'\"; program \"CorvixTcpIpCli.exe\"; host name \"corvix-server\" -> \"corvix-server\"; port 234"' ]] ||
    fail "set-host left no record in the event log: '$record'"
fi

# An administrator's own value, which no install without HOSTNAME may touch.
"$wine" reg add "$key" /v HostName /t REG_SZ /d admin-set /f "/reg:$view" >/dev/null 2>&1
msiexec /i "$msi" /qn || fail "a second install without HOSTNAME failed"
expect_value HostName "REG_SZ admin-set" "second install without HOSTNAME"

# The same version built again replaces the installed product: one entry, the rebuild's.
rebuilt_code=$(msiinfo export "$rebuilt" Property | tr -d '\r' | awk -F'\t' '$1 == "ProductCode" { print $2 }')
[ -n "$rebuilt_code" ] && [ "$rebuilt_code" != "$code" ] || fail "the rebuild's ProductCode is '$rebuilt_code', the installed one's $code"
msiexec /i "$rebuilt" /qn || fail "the rebuilt package of the same version did not install"
[ "$(products)" = "$rebuilt_code|||$product" ] || fail "after the rebuild the installed products are: $(products)"
expect_installed "rebuild of the same version"
expect_value HostName "REG_SZ admin-set" "rebuild of the same version"

msiexec /x "$rebuilt" /qn || fail "uninstall failed"
expect_removed "uninstall"
[ -z "$(products)" ] || fail "still installed: $(products)"
expect_value HostName "REG_SZ admin-set" "uninstall"
expect_value HostPort "REG_DWORD 0xea" "uninstall"

msiexec /i "$msi" /qn || fail "a fresh install without HOSTNAME failed"
expect_installed "fresh install without HOSTNAME"
expect_value HostName "REG_SZ admin-set" "fresh install without HOSTNAME"

msiexec /i "$newer" /qn HOSTNAME=second-server || fail "the newer package did not install"
expect_installed "major upgrade"
expect_value HostName "REG_SZ second-server" "major upgrade"
[ "$(products | wc -l)" = 1 ] || fail "after the upgrade the installed products are: $(products)"

msiexec /i "$msi" /qn
status=$?
refused "$status" || fail "the older package installed over the newer one (status $status)"
[ "$(products | wc -l)" = 1 ] || fail "after the refused downgrade the installed products are: $(products)"
expect_installed "refused downgrade"

# The other processor's package beside this one: two products of their own, each keeping its own
# shortcut when the other goes.
if [ -n "$other" ]; then
  if [ ! -f "$other" ]; then
    echo "not checked: installing beside $other, which is not built"
  else
    other_product=$(msiinfo export "$other" Property | tr -d '\r' | awk -F'\t' '$1 == "ProductName" { print $2 }')
    other_shortcut=$(msiinfo export "$other" Shortcut | tail -n +4 | tr -d '\r' | cut -f3)
    [ "$other_product" != "$product" ] || fail "the other package has the same name, $product"
    [ "$other_shortcut" != "$shortcut_name" ] || fail "the other package has the same shortcut, $shortcut_name"
    msiexec /i "$other" /qn || fail "the other package $other did not install beside this one"
    [ "$(products_named "$other_product" | wc -l)" = 1 ] || fail "the other package is not installed: $(products_named "$other_product")"
    [ "$(products | wc -l)" = 1 ] || fail "beside the other package, this one's products are: $(products)"
    msiexec /x "$other" /qn || fail "uninstalling the other package failed"
    [ -z "$(shortcut_of "$other_shortcut")" ] || fail "the other package's shortcut is still there"
    expect_installed "after uninstalling the other package"
  fi
fi

msiexec /x "$newer" /qn || fail "uninstalling the newer package failed"
expect_removed "uninstalling the newer package"
[ -z "$(products)" ] || fail "still installed: $(products)"
[ -z "$(source_value TypesSupported)" ] || fail "the event source is still registered after uninstalling"
expect_value HostName "REG_SZ second-server" "uninstalling the newer package"

[ "$failures" -eq 0 ] || exit 1
echo "ok: $msi"
