#!/bin/bash
# Measures a whole `corvix-tcpip-cli check -H 127.0.0.1` run (process start, the library's start-up, the
# test, exit) against the monitoring plugins' own `check_tcp -H 127.0.0.1 -p 234` (monitoring-plugins-basic)
# for the same check, runs of the two alternating, against a listener on 127.0.0.1:234 in a network
# namespace of the script's own. Prints each one's median time and the median of the ratios of the
# alternating pairs. Needs root (the namespace, and port 234 is below 1024).
# usage: scripts/benchmark-check.sh [runs]   (default 41, at most 1001)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-41}
if ! [[ "$runs" =~ ^[0-9]+$ ]] || [ "$runs" -lt 1 ] || [ "$runs" -gt 1001 ]; then
  echo "runs: a number from 1 to 1001" >&2
  exit 64
fi
check_tcp=/usr/lib/nagios/plugins/check_tcp
for tool in nc "$check_tcp"; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: scripts/install-deps.sh" >&2; exit 1; }
done
if [ "$(id -u)" -ne 0 ]; then
  echo "run as root: the listener is on port 234, in a network namespace of its own" >&2
  exit 1
fi
if [ -z "${CORVIX_BENCHMARK_NAMESPACE:-}" ]; then
  cli=build/linux/corvix-tcpip-cli
  if [ ! -x "$cli" ]; then
    cmake --preset linux >/dev/null
    cmake --build --preset linux -j2 --target corvix-tcpip-cli
  fi
  CORVIX_BENCHMARK_NAMESPACE=1 exec unshare -n bash "$0" "$@"
fi
ip link set lo up
cli=build/linux/corvix-tcpip-cli

# The listener only has to complete connections: the kernel does that for its queue.
nc -lk 127.0.0.1 234 >/dev/null </dev/null &
listener=$!
trap 'kill "$listener" 2>/dev/null; wait "$listener" 2>/dev/null' EXIT
for _ in $(seq 100); do nc -z 127.0.0.1 234 2>/dev/null && break; sleep 0.05; done
"$cli" check -H 127.0.0.1 >/dev/null || { echo "$cli check -H 127.0.0.1 does not report OK" >&2; exit 1; }
"$check_tcp" -H 127.0.0.1 -p 234 >/dev/null || { echo "check_tcp does not report OK" >&2; exit 1; }

# Microseconds one command takes, from the shell's start of it to its exit, as an agent runs a plugin.
elapsed() {
  local start=$EPOCHREALTIME
  "$@" >/dev/null 2>&1 || true
  local end=$EPOCHREALTIME
  echo $(((${end/./} - ${start/./})))
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

cli_times=() tcp_times=() ratios=()
for i in $(seq "$runs"); do
  # Which of the two goes first alternates too.
  if ((i % 2)); then
    c=$(elapsed "$cli" check -H 127.0.0.1)
    t=$(elapsed "$check_tcp" -H 127.0.0.1 -p 234)
  else
    t=$(elapsed "$check_tcp" -H 127.0.0.1 -p 234)
    c=$(elapsed "$cli" check -H 127.0.0.1)
  fi
  cli_times+=("$c") tcp_times+=("$t")
  ratios+=("$(awk -v c="$c" -v t="$t" 'BEGIN { printf "%.4f", c / t }')")
done
cli_median=$(printf '%s\n' "${cli_times[@]}" | median)
tcp_median=$(printf '%s\n' "${tcp_times[@]}" | median)
ratio=$(printf '%s\n' "${ratios[@]}" | median)
echo "runs each:                                     $runs (alternating)"
echo "check_tcp -H 127.0.0.1 -p 234, median:         ${tcp_median} us"
echo "corvix-tcpip-cli check -H 127.0.0.1, median:   ${cli_median} us"
awk -v c="$cli_median" -v t="$tcp_median" 'BEGIN { printf "ratio of the medians:                          %.3f\n", c / t }'
awk -v r="$ratio" 'BEGIN { printf "ratio cli / check_tcp, median of the pairs:    %.3f (at most 1.1: %s)\n", r, r <= 1.1 ? "yes" : "no" }'
