#!/bin/bash
# NRPE: nagios-nrpe-server runs the shipped command definition, check_nrpe (nagios-nrpe-plugin) asks for
# it as a monitoring server does, over NRPE's TLS on 127.0.0.1, all in the test's own network namespace.
# An answering server is OK, a closed port CRITICAL, and a server that never answers ends before
# check_nrpe's own 10 s with the check's message.
source "$(dirname "$0")/agent_common.sh"
require /usr/sbin/nrpe nagios-nrpe-server
check_nrpe=/usr/lib/nagios/plugins/check_nrpe
[ -x "$check_nrpe" ] || { echo "FAILED: $check_nrpe is missing: scripts/install-deps.sh installs nagios-nrpe-plugin"; exit 1; }

definition nrpe.cfg
cat >"$scratch/nrpe-server.cfg" <<CONFIG
pid_file=$scratch/nrpe.pid
log_file=$scratch/nrpe.log
server_address=127.0.0.1
server_port=5666
allowed_hosts=127.0.0.1
nrpe_user=nagios
nrpe_group=nagios
dont_blame_nrpe=0
command_timeout=60
connection_timeout=300
include=$scratch/nrpe.cfg
CONFIG
/usr/sbin/nrpe -c "$scratch/nrpe-server.cfg" -f >"$scratch/nrpe.out" 2>&1 &
background+=($!)
wait_port 5666 || { cat "$scratch/nrpe.out" "$scratch/nrpe.log" 2>/dev/null; exit 1; }

# One query as the monitoring server makes it: "<exit status> <seconds> <output>".
query() {
  local start end output status
  start=$EPOCHREALTIME
  output=$("$check_nrpe" -H 127.0.0.1 -c check_corvix_tcpip 2>&1)
  status=$?
  end=$EPOCHREALTIME
  echo "$status $(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.2f", e - s }') $output"
}

server accept
answer=$(query)
expect "$answer" '^0 [0-9.]+ CORVIX TCPIP OK - 127\.0\.0\.1:234 connected in [0-9]+\.[0-9]{3} ms \| dns=[0-9]\.[0-9]{6}s;;;0; connect=[0-9]\.[0-9]{6}s;1\.000;5\.000;0;8$' \
  "an answering server"
echo "answering server: $answer"

server closed
answer=$(query)
expect "$answer" '^2 [0-9.]+ CORVIX TCPIP CRITICAL - connect to 127\.0\.0\.1:234 failed: 10061:CONNREFUSED \| dns=[0-9.]+s;;;0; connect=[0-9.]+s;1\.000;5\.000;0;8$' \
  "a closed port"
echo "closed port: $answer"

server hold
answer=$(query)
expect "$answer" '^2 [0-9.]+ CORVIX TCPIP CRITICAL - connect to 127\.0\.0\.1:234 timed out after 8 s \| dns=[0-9.]+s;;;0; connect=U;1\.000;5\.000;0;8$' \
  "a server that never answers"
# check_nrpe gives up after 10 s, with a message of its own: the check's came first.
awk -v s="$(cut -d' ' -f2 <<<"$answer")" 'BEGIN { exit !(s >= 8 && s < 10) }' ||
  fail "the answer took $(cut -d' ' -f2 <<<"$answer") s, not between the check's 8 s and check_nrpe's 10 s"
echo "server that never answers: $answer"

finish "NRPE ran the shipped check_corvix_tcpip for check_nrpe: OK, CRITICAL, and a time-out in 8 s"
