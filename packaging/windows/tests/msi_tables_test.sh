#!/bin/bash
# Reads the MSI's tables back where no install under Wine shows the effect: what wixl cannot express
# and msibuild set afterwards, and what the package promises an administrator.
# usage: msi_tables_test.sh <package.msi> <version> <view: 32|64> <with-cli: 0|1> <UpgradeCode> <product name>
#                           <shortcut name> <icon>
set -uo pipefail
if [ $# -ne 8 ]; then
  echo "usage: msi_tables_test.sh <package.msi> <version> <view: 32|64> <with-cli: 0|1> <UpgradeCode> <product name> <shortcut name> <icon>" >&2
  exit 2
fi
msi=$1 version=$2 view=$3 with_cli=$4 upgrade_code="{$5}" product=$6 shortcut=$7 icon=$8
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
# The rows of a table after its three header lines, tab-separated.
rows() { msiinfo export "$msi" "$1" | tail -n +4 | tr -d '\r'; }
# The row whose first column is $2.
row() { rows "$1" | awk -F'\t' -v key="$2" '$1 == key'; }
expect_row() {
  local found
  found=$(row "$1" "$2")
  [ "$found" = "$3" ] || fail "$1 row $2 is '${found:-missing}', expected '$3'"
}
tab=$'\t'

# The identity: the deployed 32-bit package and the 64-bit test build share none of it.
case "$view" in
32) [ "$upgrade_code" = "{6F1E2C4A-3B7D-4E58-9A21-5C0D8B7E4F13}" ] && [ "$product" = "Corvix Tcp/Ip Configuration" ] &&
      [ "$shortcut" = "Tcp-Ip Configuration" ] || fail "the 32-bit package's identity changed: $upgrade_code, $product, $shortcut" ;;
64) [ "$upgrade_code" != "{6F1E2C4A-3B7D-4E58-9A21-5C0D8B7E4F13}" ] && [ "$product" != "Corvix Tcp/Ip Configuration" ] &&
      [ "$shortcut" != "Tcp-Ip Configuration" ] || fail "the 64-bit package shares the 32-bit one's identity: $upgrade_code, $product, $shortcut" ;;
esac
expect_row Property ProductName "ProductName${tab}$product"
expect_row Property Manufacturer "Manufacturer${tab}Qor"
expect_row Property ProductVersion "ProductVersion${tab}$version"
expect_row Property UpgradeCode "UpgradeCode${tab}$upgrade_code"
expect_row Property ALLUSERS "ALLUSERS${tab}1"
[[ ";$(row Property SecureCustomProperties | cut -f2);" == *";HOSTNAME;"* ]] ||
  fail "HOSTNAME is not a secure property: $(row Property SecureCustomProperties)"

# Registry key path (4), permanent (16) and, in the 64-bit package, 64-bit (256); only with HOSTNAME.
attributes=20
[ "$view" = 64 ] && attributes=276
settings=$(row Component Settings)
[ "$(cut -f4,5 <<<"$settings")" = "$attributes${tab}HOSTNAME" ] ||
  fail "the settings component is not permanent and conditional on HOSTNAME: $settings"
[ "$(rows Registry | awk -F'\t' '$6 == "Settings"' | cut -f2-6 | sort)" = "$(printf '2\tSoftware\\Qor\\Corvix\\TcpIp\\\tHostName\t[HOSTNAME]\tSettings\n2\tSoftware\\Qor\\Corvix\\TcpIp\\\tHostPort\t#234\tSettings')" ] ||
  fail "the registry rows are: $(rows Registry)"
# The event source of the settings records, installed and removed with the program: its message file
# the installed window program (REG_EXPAND_SZ, "#%"), information, warning and error types (7).
source_key='SYSTEM\CurrentControlSet\Services\EventLog\Application\CorvixTcpIp\'
[ "$(rows Registry | awk -F'\t' '$6 == "Program"' | cut -f2-6 | sort)" = "$(printf '2\t%s\tEventMessageFile\t#%%[#CorvixTcpIp.exe]\tProgram\n2\t%s\tTypesSupported\t#7\tProgram' "$source_key" "$source_key")" ] ||
  fail "the event source's registry rows are: $(rows Registry)"

[ "$(row LaunchCondition 'NOT WIX_DOWNGRADE_DETECTED' | cut -f2)" = "A newer version of [ProductName] is already installed." ] ||
  fail "no message for a refused downgrade: $(rows LaunchCondition)"
[[ "$(row LaunchCondition 'Installed OR VersionNT >= 602' | cut -f2)" == *"needs Windows 8 or later"* ]] ||
  fail "no launch condition for Windows 8 or later: $(rows LaunchCondition)"

# The shortcut shows the built icon (msi.install checks the product's, which Wine registers).
cmp -s <(msiinfo extract "$msi" Icon.CorvixTcpIp.ico) "$icon" || fail "the Icon table's CorvixTcpIp.ico is not $icon"
[ "$(rows Shortcut | cut -f2,3,7,9)" = "ProgramMenuFolder${tab}$shortcut${tab}Tcp/Ip Configuration${tab}CorvixTcpIp.ico" ] ||
  fail "the Start-menu shortcut is: $(rows Shortcut)"

# Versioned programs, as their version resources say; with the command-line program comes its NSClient++
# definition, in a "monitoring" folder beside it, a file without a version.
expected="CorvixTcpIp.exe${tab}$version.0${tab}1033"
[ "$with_cli" = 1 ] && expected+=$'\n'"CorvixTcpIpCli.exe${tab}$version.0${tab}1033"$'\n'"nsclient.ini${tab}${tab}"
[ "$(rows File | cut -f3,5,6 | sort)" = "$expected" ] || fail "the files are: $(rows File)"

[ "$failures" -eq 0 ] || exit 1
echo "ok: $msi"
