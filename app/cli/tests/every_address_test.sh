#!/bin/bash
# `test localhost --all --json` in namespaces of this test's own: a hosts file that gives localhost
# an IPv4 and an IPv6 address, and listeners on 127.0.0.1:234 and [::1]:234. Both addresses must be
# listed and connected, each with its local end on the loopback interface.
set -u
cli=$1
if [ "$(id -u)" -ne 0 ] || ! unshare -m -n true 2>/dev/null; then
  echo "skipped: namespaces of its own need root"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '127.0.0.1 localhost\n::1 localhost\n' >"$work/hosts"
unshare -m -n bash -c '
  mount --bind "$2/hosts" /etc/hosts || exit 1
  ip link set lo up || exit 1
  nc -lk 127.0.0.1 234 </dev/null >/dev/null & nc -6 -lk ::1 234 </dev/null >/dev/null &
  for _ in $(seq 100); do [ "$(ss -Hltn "sport = :234" | wc -l)" -ge 2 ] && break; sleep 0.05; done
  "$1" test localhost --all --json >"$2/out"
  status=$?
  kill %1 %2
  exit $status
' bash "$cli" "$work"
status=$?
cat "$work/out"
[ "$status" -eq 0 ] || { echo "FAILED: exit $status"; exit 1; }
for address in 127.0.0.1 ::1; do
  pattern="\"address\":\"$address\",\"step\":\"connect\",\"result\":\"Ok\",\"code\":0,\"elapsedMs\":[0-9.]+,\"local\":\\{\"address\":\"$address\",\"port\":[0-9]+,\"interface\":\"lo\"\\}"
  grep -Eq "$pattern" "$work/out" || { echo "FAILED: no connect to $address with its local end on lo"; exit 1; }
  grep -Eq "\"addresses\":\\[.*\\{\"address\":\"$address\"" "$work/out" || { echo "FAILED: $address not listed"; exit 1; }
done
echo "passed: 127.0.0.1 and ::1 listed and connected from lo"
