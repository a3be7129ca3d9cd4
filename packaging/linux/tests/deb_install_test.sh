#!/bin/bash
# Installs the .deb on this machine for real, runs the program, presets the server through debconf
# (a preseeded answer, dpkg-reconfigure), removes and purges the package, and checks that the
# registry hive was left exactly as it was: every step that may store settings runs in a mount
# namespace of its own whose registry directory is a scratch copy. Meant for a throw-away machine run
# as root; refuses to touch a machine where the package is already installed or has debconf answers.
# usage: deb_install_test.sh <package.deb> <registry dir> <with-cli: 0|1> <hold_file program>
set -uo pipefail
if [ $# -ne 4 ]; then
  echo "usage: deb_install_test.sh <package.deb> <registry dir> <with-cli: 0|1> <hold_file program>" >&2
  exit 2
fi
deb=$(realpath "$1") registry=${2%/} with_cli=$3 hold_file=$4
skip=77
program_dir=/opt/qor/corvix
hive=$registry/HKEY_LOCAL_MACHINE.reg

if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: installing a package needs root"
  exit $skip
fi
if dpkg-query -W -f='${Status}' corvix-tcpip 2>/dev/null | grep -q 'installed'; then
  echo "skipped: corvix-tcpip is installed on this machine already; the test leaves it alone"
  exit $skip
fi
# The debconf answers this machine has for the package: none unless preseeded by someone else.
answer() { echo "GET corvix-tcpip/$1" | debconf-communicate corvix-tcpip 2>/dev/null; }
if [ "$(answer hostname)" != "10 corvix-tcpip/hostname doesn't exist" ]; then
  echo "skipped: this machine's debconf has an answer for corvix-tcpip/hostname already; the test leaves it alone"
  exit $skip
fi

work=$(mktemp -d)
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# The machine's hive stays byte for byte as it was. Where there is none, a marker hive stands in for
# one (the package must not remove it either) and goes again at the end.
marker() { printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Qor\\Corvix\\PackageTest]\r\n"Marker"="kept"\r\n'; }
# A run killed before its clean-up (a time-out) leaves its marker behind: that hive is this test's own.
if [ -e "$hive" ] && cmp -s "$hive" <(marker); then
  echo "removing the marker hive that an earlier, killed run left in $registry"
  rm -f "$hive" "$hive.lock"
  rmdir "$registry" "$(dirname "$registry")" 2>/dev/null
fi
had_registry_dir=0 had_registry_parent=0 marker_hive=0
[ -d "$registry" ] && had_registry_dir=1
[ -d "$(dirname "$registry")" ] && had_registry_parent=1
[ -e "$hive" ] && cp -p "$hive" "$work/hive.before"
hive_unchanged() {
  if ! cmp -s "$hive" "$work/hive.before"; then
    fail "$1: the registry hive $hive changed or went"
  fi
}

installed=0
finish() {
  [ "$installed" = 1 ] && dpkg --purge corvix-tcpip >/dev/null 2>&1
  [ "$(answer hostname)" != "10 corvix-tcpip/hostname doesn't exist" ] && echo PURGE | debconf-communicate corvix-tcpip >/dev/null 2>&1
  if [ "$marker_hive" = 1 ] && cmp -s "$hive" "$work/hive.before"; then
    rm -f "$hive" "$hive.lock"
    [ "$had_registry_dir" = 0 ] && rmdir "$registry"
    [ "$had_registry_parent" = 0 ] && rmdir "$(dirname "$registry")"
  fi
  rm -rf "$work"
}
trap finish EXIT

# Runs a command with its own mount namespace, where the registry directory is a tmpfs holding a copy
# of the hive $1 and, at the end, the hive there is copied to $2: the machine's hive is never written.
with_scratch_hive() {
  unshare --mount sh -c 'registry=$1 seed=$2 out=$3; shift 3
    mount -t tmpfs -o mode=0755 tmpfs "$registry" && cp "$seed" "$registry/HKEY_LOCAL_MACHINE.reg" || exit 99
    "$@"; status=$?
    cp "$registry/HKEY_LOCAL_MACHINE.reg" "$out"; exit $status' sh "$registry" "$@"
}
# The host name stored in a hive file, or nothing.
stored_host() { tr -d '\r' <"$1" | sed -n 's/^"HostName"="\(.*\)"$/\1/p'; }
prompt='Host name of the Corvix server:'
# A terminal for debconf's readline front end, which asks at the priority given.
in_terminal() { env -u DEBIAN_FRONTEND DEBIAN_PRIORITY=high script -qec "$*" /dev/null; }

# Installed at the default priority with an interactive front end: the question is not asked.
if ! in_terminal "dpkg -i '$deb'" </dev/null >"$work/dpkg.log" 2>&1; then
  cat "$work/dpkg.log" >&2
  fail "dpkg -i failed"
  dpkg --purge corvix-tcpip >/dev/null 2>&1
  exit 1
fi
installed=1
grep -qF "$prompt" "$work/dpkg.log" && fail "a default install asked for the server: $(cat "$work/dpkg.log")"

if [ ! -e "$work/hive.before" ]; then
  marker >"$work/hive.before"
  cp -p "$work/hive.before" "$hive"
  marker_hive=1
fi

programs=(corvix-tcpip)
if [ "$with_cli" = 1 ]; then programs+=(corvix-tcpip-cli); fi
for program in "${programs[@]}"; do
  found=$(PATH=/usr/local/bin:/usr/bin:/bin command -v "$program")
  [ "$found" = "/usr/bin/$program" ] || fail "$program on PATH is '${found:-nothing}'"
  [ "$(readlink -f "/usr/bin/$program")" = "$program_dir/$program" ] ||
    fail "/usr/bin/$program does not lead to $program_dir/$program"
done
[ "$(stat -c %a "$registry")" = 755 ] || fail "$registry has mode $(stat -c %a "$registry")"
hive_unchanged "after dpkg -i"

# A run that logs: Trans.qtf beside the program is held by another program that denies reading, so
# start-up writes one entry after its retries (some 50 seconds). The run gets a registry directory of
# its own (a private tmpfs), so the window's load-and-store of the settings cannot touch the hive.
translations=$program_dir/Trans.qtf
log=$program_dir/corvix-tcpip.log
: >"$translations"
"$hold_file" "$translations" >"$work/held" 2>&1 &
holder=$!
for _ in $(seq 100); do
  [ -s "$work/held" ] && break
  sleep 0.1
done
[ "$(cat "$work/held")" = held ] || fail "could not hold $translations: $(cat "$work/held")"
(cd "$work" && exec unshare --mount sh -c 'mount -t tmpfs tmpfs "$1" && exec env QT_QPA_PLATFORM=offscreen corvix-tcpip' \
  sh "$registry" >"$work/run.log" 2>&1) &
run=$!
for _ in $(seq 240); do
  grep -qs Trans "$log" && break
  kill -0 "$run" 2>/dev/null || break
  sleep 0.5
done
kill "$run" "$holder" 2>/dev/null
wait "$run" "$holder" 2>/dev/null
grep -qs Trans "$log" ||
  fail "no log entry of the unit Trans in $log after a run as root; the run said: $(cat "$work/run.log")"
for elsewhere in /usr/bin/corvix-tcpip.log "$work/corvix-tcpip.log"; do
  [ -e "$elsewhere" ] && fail "the log went to $elsewhere"
done
rm -f "$translations"
hive_unchanged "after the run"

# Removing keeps what the programs wrote beside themselves (the log of the run, and as if they had
# rotated and locked their logs); purging removes it and the debconf answers, never the hive.
own_files=()
for program in "${programs[@]}"; do own_files+=("$program.log" "$program.log.OLD" "$program.log.lock"); done
for file in "${own_files[@]}"; do [ -e "$program_dir/$file" ] || echo "$file" >"$program_dir/$file"; done
dpkg -r corvix-tcpip >"$work/dpkg.log" 2>&1 || fail "dpkg -r failed: $(cat "$work/dpkg.log")"
for program in "${programs[@]}"; do
  [ -e "/usr/bin/$program" ] || [ -L "/usr/bin/$program" ] && fail "/usr/bin/$program is still there"
done
left=$(ls -A "$program_dir" 2>/dev/null | sort | tr '\n' ' ')
[ "$left" = "$(printf '%s\n' "${own_files[@]}" | sort | tr '\n' ' ')" ] ||
  fail "after dpkg -r $program_dir holds '$left', expected only the programs' own files"
hive_unchanged "after dpkg -r"
dpkg --purge corvix-tcpip >"$work/dpkg.log" 2>&1 || fail "dpkg --purge failed: $(cat "$work/dpkg.log")"
installed=0
[ -e "$program_dir" ] && fail "$program_dir is still there after purging: $(ls -A "$program_dir")"
hive_unchanged "after dpkg --purge"

if [ "$with_cli" = 1 ]; then
  # A preseeded answer, installed through the non-interactive front end: stored as set-host stores
  # it, the hive's other keys kept.
  echo "corvix-tcpip corvix-tcpip/hostname string preseeded-server" | debconf-set-selections ||
    fail "debconf-set-selections failed"
  with_scratch_hive "$work/hive.before" "$work/hive.preseeded" \
    env DEBIAN_FRONTEND=noninteractive dpkg -i "$deb" >"$work/dpkg.log" 2>&1 ||
    fail "dpkg -i with a preseeded answer failed: $(cat "$work/dpkg.log")"
  installed=1
  [ "$(stored_host "$work/hive.preseeded")" = preseeded-server ] ||
    fail "the preseeded answer was not stored: $(cat "$work/hive.preseeded")"
  lost=$(grep -vxF -f <(tr -d '\r' <"$work/hive.preseeded") <(tr -d '\r' <"$work/hive.before" | grep -v '^"HostName"='))
  [ -z "$lost" ] || fail "storing the preseeded answer lost lines of the hive: $lost"
  hive_unchanged "after installing with a preseeded answer"

  # dpkg-reconfigure asks, with an interactive front end, and stores what is typed.
  (sleep 2; echo typed-server; sleep 2) | with_scratch_hive "$work/hive.preseeded" "$work/hive.typed" \
    env -u DEBIAN_FRONTEND script -qec "dpkg-reconfigure -f readline corvix-tcpip" /dev/null >"$work/dpkg.log" 2>&1 ||
    fail "dpkg-reconfigure failed: $(cat "$work/dpkg.log")"
  grep -qF "$prompt" "$work/dpkg.log" || fail "dpkg-reconfigure did not ask for the server: $(cat "$work/dpkg.log")"
  [ "$(stored_host "$work/hive.typed")" = typed-server ] ||
    fail "the answer typed in dpkg-reconfigure was not stored: $(cat "$work/hive.typed")"

  # An upgrade with that answer unchanged leaves a server set since (here with set-host) alone.
  with_scratch_hive "$work/hive.typed" "$work/hive.upgraded" sh -c \
    'corvix-tcpip-cli set-host changed-since && DEBIAN_FRONTEND=noninteractive dpkg -i "$1"' sh "$deb" >"$work/dpkg.log" 2>&1 ||
    fail "the reinstall failed: $(cat "$work/dpkg.log")"
  [ "$(stored_host "$work/hive.upgraded")" = changed-since ] ||
    fail "the reinstall stored the debconf answer over a server set since: $(cat "$work/hive.upgraded")"
  hive_unchanged "after dpkg-reconfigure and the reinstall"

  dpkg --purge corvix-tcpip >"$work/dpkg.log" 2>&1 || fail "dpkg --purge failed: $(cat "$work/dpkg.log")"
  installed=0
  [ "$(answer hostname)" = "10 corvix-tcpip/hostname doesn't exist" ] || fail "purging left the debconf answer: $(answer hostname)"
  hive_unchanged "after the second dpkg --purge"
fi

[ "$failures" -eq 0 ] || exit 1
echo "ok: installed, ran, preset, reconfigured, removed and purged $deb; the hive was kept"
