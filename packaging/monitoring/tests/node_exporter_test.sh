#!/bin/bash
# node_exporter: prometheus-node-exporter listens on 127.0.0.1 with its textfile collector on a directory
# of the test's own; the shipped service's command writes the probe there, and /metrics shows it, the
# probe's success and then its failure.
source "$(dirname "$0")/agent_common.sh"
require prometheus-node-exporter prometheus-node-exporter
require curl curl

textfiles=$scratch/node-exporter
mkdir "$textfiles"
# The shipped service's command, for the test's directory.
command=$(sed -n 's/^ExecStart=//p' "$linux_packaging/corvix-tcpip-textfile.service" |
  sed "s|/usr/bin/corvix-tcpip-cli|$scratch/corvix-tcpip-cli|; s|/var/lib/prometheus/node-exporter|$textfiles|")
[ -n "$command" ] || { echo "FAILED: no ExecStart in the shipped service"; exit 1; }
prometheus-node-exporter --web.listen-address=127.0.0.1:9100 --collector.disable-defaults --collector.textfile \
  --collector.textfile.directory="$textfiles" >"$scratch/node_exporter.log" 2>&1 &
background+=($!)
wait_port 9100 || { cat "$scratch/node_exporter.log"; exit 1; }
metrics() { curl -sS --max-time 10 http://127.0.0.1:9100/metrics | grep -E '^(probe_|node_textfile_scrape_error)'; }
labels='\{host="127\.0\.0\.1",port="234"\}'

server accept
$command
status=$?
[ "$status" -eq 0 ] || fail "the service's command exited $status with an answering server"
[ "$(ls -A "$textfiles")" = corvix_tcpip.prom ] || fail "the textfile directory holds: $(ls -A "$textfiles")"
scraped=$(metrics)
echo "$scraped"
expect "$scraped" "^probe_success$labels 1$" "probe_success of an answering server"
expect "$scraped" "^probe_duration_seconds$labels [0-9.e-]+$" "probe_duration_seconds"
expect "$scraped" "^probe_dns_lookup_time_seconds$labels [0-9.e-]+$" "probe_dns_lookup_time_seconds"
expect "$scraped" '^node_textfile_scrape_error 0$' "node_exporter read the file without an error"

server closed
$command
status=$?
[ "$status" -eq 2 ] || fail "the service's command exited $status with a closed port, not 2 (CRITICAL)"
scraped=$(metrics)
expect "$scraped" "^probe_success$labels 0$" "probe_success of a closed port"
expect "$scraped" '^node_textfile_scrape_error 0$' "node_exporter read the second file without an error"
[ "$(ls -A "$textfiles")" = corvix_tcpip.prom ] || fail "the textfile directory holds: $(ls -A "$textfiles")"

finish "node_exporter showed the probe that the shipped service's command wrote"
