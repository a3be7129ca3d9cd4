#!/bin/bash
# Icinga 2 (icinga2-bin): "icinga2 daemon -C" accepts a configuration made of the shipped CheckCommand and a
# service that sets each of its arguments, and refuses one whose service names a command that is not there;
# then the daemon itself runs that service against a server on 127.0.0.1:234, and its perfdata writer
# records the state, the output and the performance data that Icinga took from the check.
# Icinga's own directories are empty ones of the test's mount namespace: the machine's stay as they are.
source "$(dirname "$0")/agent_common.sh"
require icinga2 icinga2-bin
for dir in /var/cache/icinga2 /var/lib/icinga2 /var/log/icinga2; do
  if [ -d "$dir" ]; then mount -t tmpfs -o mode=0777 tmpfs "$dir" || exit 1; fi
done
# The daemon keeps its PID file in /run/icinga2, which only its service makes.
mount -t tmpfs -o mode=0755 tmpfs /run && mkdir -m 0777 /run/icinga2 || exit 1

definition icinga2.conf
mkdir -m 0777 "$scratch/perfdata"
# The configuration with the service's command $1.
configuration() {
  cat <<CONFIG
include "$scratch/icinga2.conf"
object CheckerComponent "checker" { }
object FileLogger "commands" {
  path = "$scratch/perfdata/icinga2.log"
  severity = "notice"
}
object PerfdataWriter "perfdata" {
  service_perfdata_path = "$scratch/perfdata/service"
  service_temp_path = "$scratch/perfdata/service.tmp"
  host_perfdata_path = "$scratch/perfdata/host"
  host_temp_path = "$scratch/perfdata/host.tmp"
  service_format_template = "STATE::\$service.state\$\tPERFDATA::\$service.perfdata\$\tOUTPUT::\$service.output\$"
  rotation_interval = 1s
}
object CheckCommand "host-stub" { command = [ "/bin/true" ] }
object Host "workstation" {
  address = "127.0.0.1"
  check_command = "host-stub"
}
object Service "corvix-tcpip" {
  host_name = "workstation"
  check_command = "$1"
  check_interval = 1s
  retry_interval = 1s
  vars.corvix_tcpip_hostname = "\$address\$"
  vars.corvix_tcpip_warning = "0.5"
  vars.corvix_tcpip_critical = "@2:"
  vars.corvix_tcpip_timeout = 8
  vars.corvix_tcpip_verbose = true
}
CONFIG
}
configuration corvix-tcpip >"$scratch/good.conf"
configuration corvix-tcpip-missing >"$scratch/bad.conf"
chmod 644 "$scratch/good.conf" "$scratch/bad.conf"

if ! output=$(icinga2 daemon -C -c "$scratch/good.conf" -x information 2>&1); then
  fail "icinga2 daemon -C refused the shipped CheckCommand: $output"
fi
expect "$output" 'Instantiated 1 Service' "the service"
expect "$output" 'Instantiated 2 CheckCommands' "the shipped CheckCommand and the host's"
expect "$output" 'Finished validating the configuration' "the validation"
echo "icinga2 daemon -C: $(grep -c Instantiated <<<"$output") kinds of objects, validated"
# The validation can refuse.
if output=$(icinga2 daemon -C -c "$scratch/bad.conf" 2>&1); then
  fail "icinga2 daemon -C accepted a service whose command does not exist"
fi
expect "$output" 'corvix-tcpip-missing' "the refusal names the missing command"

server accept
icinga2 daemon -c "$scratch/good.conf" -x warning >"$scratch/daemon.out" 2>&1 &
daemon=$!
background+=("$daemon")
result=
for _ in $(seq 300); do
  result=$(cat "$scratch"/perfdata/service.[0-9]* 2>/dev/null | grep -m 1 '^STATE::')
  [ -n "$result" ] && break
  sleep 0.1
done
kill "$daemon" 2>/dev/null
wait "$daemon" 2>/dev/null
[ -n "$result" ] || fail "the daemon recorded no result: $(cat "$scratch/daemon.out")"
echo "$result"
expect "$result" $'^STATE::OK\tPERFDATA::dns=[0-9.]+s;;;0; connect=[0-9.]+s;0\\.500;@2\\.000:;0;8\tOUTPUT::CORVIX TCPIP OK - 127\\.0\\.0\\.1:234 connected in [0-9.]+ ms $' \
  "the state, performance data and first line Icinga took from the check"
command=$(sed -n 's/.*\(Running command .*\): PID [0-9]*$/\1/p' "$scratch/perfdata/icinga2.log" | head -n 1)
expect "$command" "^Running command '$scratch/corvix-tcpip-cli' 'check' '-H' '127\\.0\\.0\\.1' '-c' '@2:' '-t' '8' '-v' '-w' '0\\.5'\$" \
  "the command line Icinga made of the shipped arguments"
echo "$command"

finish "icinga2 daemon -C accepted the shipped CheckCommand, and the daemon ran it"
