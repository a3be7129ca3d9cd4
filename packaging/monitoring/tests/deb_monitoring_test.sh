#!/bin/bash
# The .deb ships the monitoring systems' definitions of the check, as in the source tree, and the textfile
# service and timer, which no maintainer script enables or starts.
# usage: deb_monitoring_test.sh <package.deb> <definitions dir>
set -uo pipefail
if [ $# -ne 2 ]; then
  echo "usage: deb_monitoring_test.sh <package.deb> <definitions dir>" >&2
  exit 2
fi
deb=$1 dir=${2#/}
sources=$(cd "$(dirname "$0")/.." && pwd)
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
contents=$(dpkg-deb --contents "$deb") || exit 1
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb --extract "$deb" "$unpacked" || exit 1
mode() { awk -v path="./$1" '$6 == path { print $1 }' <<<"$contents"; }

for file in nrpe.cfg zabbix_agentd.conf icinga2.conf mrpe.cfg; do
  [ "$(mode "$dir/$file")" = "-rw-r--r--" ] || fail "$dir/$file: mode '$(mode "$dir/$file")'"
  cmp -s "$unpacked/$dir/$file" "$sources/$file" || fail "$dir/$file differs from the source tree's"
  grep -q '/usr/bin/corvix-tcpip-cli' "$unpacked/$dir/$file" || fail "$dir/$file does not run the program"
done
for unit in corvix-tcpip-textfile.service corvix-tcpip-textfile.timer; do
  [ "$(mode "lib/systemd/system/$unit")" = "-rw-r--r--" ] || fail "lib/systemd/system/$unit is missing"
done
grep -qx 'ExecStart=/usr/bin/corvix-tcpip-cli check -t 30 --textfile /var/lib/prometheus/node-exporter/corvix_tcpip.prom' \
  "$unpacked/lib/systemd/system/corvix-tcpip-textfile.service" || fail "the service does not write node_exporter's file"
# Disabled by default: nothing in the package's scripts enables or starts the timer.
control=$(mktemp -d)
dpkg-deb --control "$deb" "$control" || exit 1
for script in preinst postinst prerm postrm; do
  if grep -qs 'corvix-tcpip-textfile' "$control/$script"; then fail "$script names the textfile units"; fi
done
rm -rf "$control"

[ "$failures" -eq 0 ] || exit 1
echo "ok: the monitoring definitions and the textfile units in $deb"
