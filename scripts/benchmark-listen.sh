#!/bin/bash
# Opens CONNECTIONS connections at once to `corvix-tcpip-cli listen` on port 234, ROUNDS times, and
# prints how long each burst's connections took to be answered and how far the listener's resident
# memory grew. Needs root: the listener and its clients run in a network namespace of their own, so
# that port 234 of this machine is never touched.
# usage: scripts/benchmark-listen.sh [connections] [rounds]   (default 1000 and 5)
set -euo pipefail
cd "$(dirname "$0")/.."
connections=${1:-1000}
rounds=${2:-5}
if ! [[ "$connections" =~ ^[0-9]+$ ]] || [ "$connections" -lt 1 ] || [ "$connections" -gt 4000 ]; then
  echo "connections: a number from 1 to 4000" >&2
  exit 64
fi
if ! [[ "$rounds" =~ ^[0-9]+$ ]] || [ "$rounds" -lt 1 ] || [ "$rounds" -gt 100 ]; then
  echo "rounds: a number from 1 to 100" >&2
  exit 64
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "run as root: the benchmark makes a network namespace of its own" >&2
  exit 1
fi
[ -f build/linux/build.ninja ] || cmake --preset linux >/dev/null
cmake --build --preset linux -j2 --target corvix-tcpip-cli listen_burst_client >/dev/null
cli=build/linux/corvix-tcpip-cli
client=build/linux/app/cli/benchmarks/listen_burst_client

if [ -z "${CORVIX_LISTEN_NAMESPACE:-}" ]; then
  exec env CORVIX_LISTEN_NAMESPACE=1 unshare --net "$0" "$connections" "$rounds"
fi

ip link set lo up
# The client holds a descriptor per connection.
ulimit -n $((connections + 64))
out=$(mktemp)
trap 'kill -INT "$listener" 2>/dev/null || true; rm -f "$out"' EXIT
"$cli" listen >"$out" 2>&1 &
listener=$!
for _ in $(seq 100); do grep -q '^Listening' "$out" && break; sleep 0.05; done
if ! grep -q '^Listening' "$out"; then
  echo "the listener did not start:" >&2
  cat "$out" >&2
  exit 1
fi
kb() { awk -v key="$1:" '$1 == key { print $2 }' "/proc/$listener/status"; }
before=$(kb VmRSS)
failed=0
for round in $(seq "$rounds"); do
  echo "round $round:"
  "$client" 234 "$connections" 1000 | sed 's/^/  /' || failed=1
done
peak=$(kb VmHWM)
after=$(kb VmRSS)
served=$(grep -c ' connection from ' "$out" || true)
echo "listener: $served connections printed"
echo "listener resident memory: ${before} kB before the first burst, ${after} kB after the last, peak ${peak} kB"
echo "growth to the peak: $((peak - before)) kB"
if [ "$failed" -ne 0 ] || [ "$((peak - before))" -ge 5120 ]; then
  echo "FAILED: a connection was not answered within 1 s, or the memory grew by 5 MB or more" >&2
  exit 1
fi
