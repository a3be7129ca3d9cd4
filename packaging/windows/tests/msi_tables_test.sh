#!/bin/bash
# Reads the MSI's tables back: what wixl cannot express and msibuild set afterwards, and what the
# package promises an administrator.
# usage: msi_tables_test.sh <package.msi> <version> <view: 32|64> <with-cli: 0|1>
set -uo pipefail
if [ $# -ne 4 ]; then
  echo "usage: msi_tables_test.sh <package.msi> <version> <view: 32|64> <with-cli: 0|1>" >&2
  exit 2
fi
msi=$1 version=$2 view=$3 with_cli=$4
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

expect_row Property ProductName "ProductName${tab}Corvix Tcp/Ip Configuration"
expect_row Property Manufacturer "Manufacturer${tab}Qor"
expect_row Property ProductVersion "ProductVersion${tab}$version"
expect_row Property UpgradeCode "UpgradeCode${tab}{6F1E2C4A-3B7D-4E58-9A21-5C0D8B7E4F13}"
expect_row Property ALLUSERS "ALLUSERS${tab}1"
[[ ";$(row Property SecureCustomProperties | cut -f2);" == *";HOSTNAME;"* ]] ||
  fail "HOSTNAME is not a secure property: $(row Property SecureCustomProperties)"

# Registry key path (4), permanent (16) and, in the 64-bit package, 64-bit (256); only with HOSTNAME.
attributes=20
[ "$view" = 64 ] && attributes=276
settings=$(row Component Settings)
[ "$(cut -f4,5 <<<"$settings")" = "$attributes${tab}HOSTNAME" ] ||
  fail "the settings component is not permanent and conditional on HOSTNAME: $settings"
[ "$(rows Registry | cut -f2-6 | sort)" = "$(printf '2\tSoftware\\Qor\\Corvix\\TcpIp\\\tHostName\t[HOSTNAME]\tSettings\n2\tSoftware\\Qor\\Corvix\\TcpIp\\\tHostPort\t#234\tSettings')" ] ||
  fail "the registry rows are: $(rows Registry)"

[[ "$(rows LaunchCondition)" == *"A newer version of [ProductName] is already installed."* ]] ||
  fail "no message for a refused downgrade: $(rows LaunchCondition)"
[ "$(rows Shortcut | cut -f2,3,7)" = "ProgramMenuFolder${tab}Tcp-Ip Configuration${tab}Tcp/Ip Configuration" ] ||
  fail "the Start-menu shortcut is: $(rows Shortcut)"

files=$(rows File | cut -f3 | sort | tr '\n' ' ')
expected="CorvixTcpIp.exe "
# With the command-line program comes its NSClient++ definition, in a "monitoring" folder beside it.
[ "$with_cli" = 1 ] && expected="CorvixTcpIp.exe CorvixTcpIpCli.exe nsclient.ini "
[ "$files" = "$expected" ] || fail "the package holds '$files', expected '$expected'"

[ "$failures" -eq 0 ] || exit 1
echo "ok: $msi"
