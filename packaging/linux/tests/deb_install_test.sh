#!/bin/bash
# Installs the .deb on this machine for real, runs the program, removes and purges the package, and
# checks that the registry hive was left exactly as it was. Meant for a throw-away machine run as root;
# refuses to touch a machine where the package is already installed.
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
  if [ "$marker_hive" = 1 ] && cmp -s "$hive" "$work/hive.before"; then
    rm -f "$hive" "$hive.lock"
    [ "$had_registry_dir" = 0 ] && rmdir "$registry"
    [ "$had_registry_parent" = 0 ] && rmdir "$(dirname "$registry")"
  fi
  rm -rf "$work"
}
trap finish EXIT

if ! dpkg -i "$deb" >"$work/dpkg.log" 2>&1; then
  cat "$work/dpkg.log" >&2
  fail "dpkg -i failed"
  dpkg --purge corvix-tcpip >/dev/null 2>&1
  exit 1
fi
installed=1

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
rm -f "$translations" "$log" "$log.lock" "$log.OLD"
hive_unchanged "after the run"

dpkg -r corvix-tcpip >"$work/dpkg.log" 2>&1 || fail "dpkg -r failed: $(cat "$work/dpkg.log")"
for program in "${programs[@]}"; do
  [ -e "/usr/bin/$program" ] || [ -L "/usr/bin/$program" ] && fail "/usr/bin/$program is still there"
done
[ -e "$program_dir" ] && fail "$program_dir is still there: $(ls -A "$program_dir")"
hive_unchanged "after dpkg -r"
dpkg --purge corvix-tcpip >"$work/dpkg.log" 2>&1 || fail "dpkg --purge failed: $(cat "$work/dpkg.log")"
installed=0
hive_unchanged "after dpkg --purge"

[ "$failures" -eq 0 ] || exit 1
echo "ok: installed, ran, removed and purged $deb; the hive was kept"
