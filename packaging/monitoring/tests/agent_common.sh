# Sourced by the agent tests: their arguments, root, a network and mount namespace of the test's own, a
# scratch directory, the shipped definitions with the program where the build has it, and a listener on
# 127.0.0.1:234 inside the namespace.
# usage: <test>.sh <corvix-tcpip-cli> <port_listener> <packaging/monitoring> <packaging/linux> <registry dir>
set -uo pipefail
if [ $# -ne 5 ]; then
  echo "usage: $(basename "$0") <corvix-tcpip-cli> <port_listener> <definitions dir> <linux packaging dir> <registry dir>" >&2
  exit 2
fi
cli=$1 listener_program=$2 definitions=$3 linux_packaging=$4 registry=$5

if [ "$(id -u)" -ne 0 ] || ! unshare -n -m true 2>/dev/null; then
  echo "skipped: a network and mount namespace of its own needs root"
  exit 77
fi
# Everything below runs in the test's own namespaces: loopback only, and mounts no one else sees.
if [ -z "${CORVIX_AGENT_NAMESPACE:-}" ]; then
  CORVIX_AGENT_NAMESPACE=1 exec unshare -n -m --propagation private bash "$0" "$@"
fi
ip link set lo up || exit 1
# The machine's stored settings stay out of the test: here the registry is empty, so the stored host is
# the default one, 127.0.0.1, port 234.
if [ -d "$registry" ]; then mount -t tmpfs tmpfs "$registry" || exit 1; fi

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
finish() {
  [ "$failures" -eq 0 ] || exit 1
  echo "passed: $*"
  exit 0
}
# A program from the Debian package that scripts/install-deps.sh installs.
require() {
  if ! command -v "$1" >/dev/null 2>&1; then
    echo "FAILED: $1 is missing: scripts/install-deps.sh installs $2"
    exit 1
  fi
}

scratch=$(mktemp -d)
# The agents drop to their own users, which must reach the program and the definitions.
chmod 755 "$scratch"
background=()
cleanup() {
  local pid
  for pid in "${background[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${background[@]}"; do wait "$pid" 2>/dev/null; done
  rm -rf "$scratch"
}
trap cleanup EXIT
install -m 755 "$cli" "$scratch/corvix-tcpip-cli"
# The shipped definition $1 (from the directory $2, by default packaging/monitoring) as the agent reads it:
# word for word, but for the program's path.
definition() {
  sed "s|/usr/bin/corvix-tcpip-cli|$scratch/corvix-tcpip-cli|g" "${2:-$definitions}/$1" >"$scratch/$1"
  chmod 644 "$scratch/$1"
}

# Waits until something listens on 127.0.0.1:$1.
wait_port() {
  local _
  for _ in $(seq 200); do
    ss -Hltn "sport = :$1" | grep -q . && return 0
    sleep 0.05
  done
  echo "FAILED: nothing listens on port $1" >&2
  return 1
}

listener_pid=
# A server on 127.0.0.1:234 that answers (accept) or one whose queue is full (hold); none (closed).
server() {
  if [ -n "$listener_pid" ]; then
    kill "$listener_pid" 2>/dev/null
    wait "$listener_pid" 2>/dev/null
    listener_pid=
  fi
  [ "$1" = closed ] && return 0
  "$listener_program" 127.0.0.1 234 "$1" >"$scratch/listener.out" 2>&1 &
  listener_pid=$!
  background+=("$listener_pid")
  local _
  for _ in $(seq 200); do
    grep -q ready "$scratch/listener.out" && return 0
    sleep 0.05
  done
  echo "FAILED: the listener did not start: $(cat "$scratch/listener.out")"
  exit 1
}

# expect <text> <extended regular expression> <what>
expect() {
  if ! grep -Eq -- "$2" <<<"$1"; then fail "$3: expected /$2/, got: $1"; fi
}
