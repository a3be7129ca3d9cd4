#!/bin/bash
# Zabbix agent: zabbix_agentd (zabbix-agent) runs each item of the shipped UserParameter file with -t, as
# it does for a server's request, and gives its value: the state, the status line and the connect time;
# a server that never answers gives CRITICAL within the agent's 3 s Timeout.
source "$(dirname "$0")/agent_common.sh"
require zabbix_agentd zabbix-agent

definition zabbix_agentd.conf
cat >"$scratch/agent.conf" <<CONFIG
LogType=console
PidFile=$scratch/zabbix_agentd.pid
Timeout=3
Include=$scratch/zabbix_agentd.conf
CONFIG
# The value of item $1: "[t|<value>]" as the agent prints it, without the key's column.
item() { zabbix_agentd -c "$scratch/agent.conf" -t "$1" 2>&1 | sed -E 's/^[^ ]+ +//'; }

server accept
expect "$(item corvix.tcpip.state)" '^\[t\|0\]$' "the state of an answering server"
expect "$(item corvix.tcpip.check)" '^\[t\|CORVIX TCPIP OK - 127\.0\.0\.1:234 connected in [0-9.]+ ms \| dns=[0-9.]+s;;;0; connect=[0-9.]+s;1\.000;5\.000;0;2\]$' \
  "the status line of an answering server"
expect "$(item corvix.tcpip.connect)" '^\[t\|0\.[0-9]{6}\]$' "the connect time of an answering server"
echo "answering server: $(item corvix.tcpip.check)"

server closed
expect "$(item corvix.tcpip.state)" '^\[t\|2\]$' "the state of a closed port"
expect "$(item corvix.tcpip.check)" '^\[t\|CORVIX TCPIP CRITICAL - connect to 127\.0\.0\.1:234 failed: 10061:CONNREFUSED \|' \
  "the status line of a closed port"
echo "closed port: $(item corvix.tcpip.check)"

server hold
start=$EPOCHREALTIME
answer=$(item corvix.tcpip.check)
elapsed=$(awk -v s="$start" -v e="$EPOCHREALTIME" 'BEGIN { printf "%.2f", e - s }')
# Past its Timeout the agent would give "ZBX_NOTSUPPORTED" and a time-out of its own instead.
expect "$answer" '^\[t\|CORVIX TCPIP CRITICAL - connect to 127\.0\.0\.1:234 timed out after 2 s \| dns=[0-9.]+s;;;0; connect=U;1\.000;5\.000;0;2\]$' \
  "a server that never answers, within the agent's Timeout"
echo "server that never answers, after $elapsed s: $answer"
expect "$(item corvix.tcpip.state)" '^\[t\|2\]$' "the state of a server that never answers"

finish "zabbix_agentd ran the shipped UserParameter items"
