#!/bin/bash
# `test localhost --all --json` in namespaces of this test's own: a hosts file that gives localhost
# an IPv4 and an IPv6 address, and this tool's `listen` on port 234. Both addresses must be listed and
# connected, each with its local end on the loopback interface, each peer recognised as the listener,
# and the listener must have printed both connections.
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
  "$1" listen --count 2 --timeout 20 >"$2/listened" &
  listener=$!
  for _ in $(seq 100); do [ "$(ss -Hltn "sport = :234" | wc -l)" -ge 2 ] && break; sleep 0.05; done
  "$1" test localhost --all --json >"$2/out"
  status=$?
  wait "$listener" || status=$?
  exit $status
' bash "$cli" "$work"
status=$?
cat "$work/out"
[ "$status" -eq 0 ] || { echo "FAILED: exit $status"; exit 1; }
for address in 127.0.0.1 ::1; do
  pattern="\"address\":\"$address\",\"step\":\"connect\",\"result\":\"Ok\",\"code\":0,\"elapsedMs\":[0-9.]+,\"local\":\\{\"address\":\"$address\",\"port\":[0-9]+,\"interface\":\"lo\"\\},\"listener\":true"
  grep -Eq "$pattern" "$work/out" || { echo "FAILED: no connect to $address with its local end on lo"; exit 1; }
  grep -Eq "\"addresses\":\\[.*\\{\"address\":\"$address\"" "$work/out" || { echo "FAILED: $address not listed"; exit 1; }
done
[ "$(grep -c . "$work/listened")" -ge 2 ] || { echo "FAILED: the listener did not print both connections:"; cat "$work/listened"; exit 1; }
echo "passed: 127.0.0.1 and ::1 listed, connected from lo and recognised as the listener, which saw both"
