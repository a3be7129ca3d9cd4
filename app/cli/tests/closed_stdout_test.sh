#!/bin/bash
# With standard output closed, the test's socket must not take its place: a listener on
# 127.0.0.1:234, in a network namespace of this test's own, must receive nothing but the connect.
set -u
cli=$1
if [ "$(id -u)" -ne 0 ] || ! unshare -n true 2>/dev/null; then
  echo "skipped: a network namespace of its own needs root"
  exit 77
fi
received=$(mktemp)
trap 'rm -f "$received"' EXIT
unshare -n bash -c '
  ip link set lo up || exit 1
  nc -l 127.0.0.1 234 >"$2" &
  for _ in $(seq 100); do ss -Hltn "sport = :234" | grep -q . && break; sleep 0.05; done
  "$1" test 127.0.0.1 >&-
  status=$?
  wait
  exit $status
' bash "$cli" "$received"
status=$?
if [ "$status" -ne 0 ]; then
  echo "FAILED: the test of a listening 127.0.0.1:234 exited $status"
  exit 1
fi
if [ -s "$received" ]; then
  echo "FAILED: the server was sent the program's output:"
  cat -v "$received"
  exit 1
fi
echo "passed: the server received nothing"
