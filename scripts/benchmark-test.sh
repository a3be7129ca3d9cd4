#!/bin/bash
# Measures a whole `corvix-tcpip-cli test 127.0.0.1` run (process start, the library's start-up, the
# three steps, the local end, the listener's greeting, the report, exit) side by side with
# `nc -z 127.0.0.1 234`, alternating, against this tool's own `listen` on port 234, and prints the
# medians and their ratio; then the same test against a listener that says nothing, as a server does,
# for which the test waits its whole moment for a greeting. Port 234 is below 1024: run it as root,
# best in a network namespace of its own (unshare -n, with `ip link set lo up`).
# usage: scripts/benchmark-test.sh [runs]   (default 41, at most 1001)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-41}
if ! [[ "$runs" =~ ^[0-9]+$ ]] || [ "$runs" -lt 1 ] || [ "$runs" -gt 1001 ]; then
  echo "runs: a number from 1 to 1001" >&2
  exit 64
fi
cli=build/linux/corvix-tcpip-cli
if [ ! -x "$cli" ]; then
  cmake --preset linux >/dev/null
  cmake --build --preset linux --target corvix-tcpip-cli
fi
command -v nc >/dev/null || { echo "nc (netcat-openbsd) is missing: scripts/install-deps.sh" >&2; exit 1; }

"$cli" listen --timeout 3600 >/dev/null &
listener=$!
trap 'kill "$listener" 2>/dev/null; wait "$listener" 2>/dev/null' EXIT
for _ in $(seq 100); do nc -z 127.0.0.1 234 2>/dev/null && break; sleep 0.05; done
if ! nc -z 127.0.0.1 234; then
  echo "cannot listen on 127.0.0.1:234 (run as root, and with the port free)" >&2
  exit 1
fi
if ! "$cli" test 127.0.0.1 | grep -q "is this tool's listener"; then
  echo "$cli test 127.0.0.1 does not find the listener" >&2
  exit 1
fi

# Microseconds one command takes, process start to exit.
elapsed() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1 || true
  end=$(date +%s%N)
  echo $(((end - start) / 1000))
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

nc_times=()
cli_times=()
for _ in $(seq "$runs"); do
  nc_times+=("$(elapsed nc -z 127.0.0.1 234)")
  cli_times+=("$(elapsed "$cli" test 127.0.0.1)")
done
nc_median=$(printf '%s\n' "${nc_times[@]}" | median)
cli_median=$(printf '%s\n' "${cli_times[@]}" | median)
echo "runs each:                        $runs (alternating)"
echo "nc -z 127.0.0.1 234, median:      ${nc_median} us"
echo "corvix-tcpip-cli test, median:    ${cli_median} us"
awk -v c="$cli_median" -v n="$nc_median" 'BEGIN { printf "ratio (cli / nc):                 %.2f\n", c / n }'

# The same against a silent listener.
kill "$listener"
wait "$listener" 2>/dev/null || true
nc -lk 127.0.0.1 234 >/dev/null </dev/null &
listener=$!
for _ in $(seq 100); do nc -z 127.0.0.1 234 2>/dev/null && break; sleep 0.05; done
silent_times=()
for _ in $(seq "$runs"); do silent_times+=("$(elapsed "$cli" test 127.0.0.1)"); done
echo "test against a silent listener:   $(printf '%s\n' "${silent_times[@]}" | median) us (median)"
