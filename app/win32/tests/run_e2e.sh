#!/bin/bash
# Runs one end-to-end case of the Windows program on a virtual X display of its own, in a Wine prefix of
# its own: the other Windows tests clear the registry keys of the settings in the shared prefix.
# usage: run_e2e.sh <wine> <prefix> <driver.exe> <CorvixTcpIp.exe> <case>
set -uo pipefail
if [ $# -ne 5 ]; then
  echo "usage: run_e2e.sh <wine> <prefix> <driver.exe> <CorvixTcpIp.exe> <case>" >&2
  exit 2
fi
wine=$1 prefix=$2 driver=$3 program=$4 case=$5
wineserver="$(dirname "$wine")/wineserver"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

work=$(mktemp -d)
# Xvfb picks a free display number itself and writes it to fd 3 once it accepts clients.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
finish() {
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT
for _ in $(seq 200); do
  [ -s "$work/display" ] && break
  kill -0 "$xvfb" 2>/dev/null || break
  sleep 0.05
done
if [ ! -s "$work/display" ]; then
  echo "the virtual X display did not start:" >&2
  cat "$work/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$(head -n 1 "$work/display")"

# The program under test writes the machine's registry: only ever in a prefix this script made (and
# marked) for it, never in one of someone's own.
marker="$prefix/drive_c/corvix-e2e-prefix"
if [ ! -f "$prefix/system.reg" ]; then
  echo "making the Wine prefix $prefix"
  if ! "$wine" wineboot -i >/dev/null 2>&1; then
    echo "could not make the Wine prefix $prefix" >&2
    exit 1
  fi
  touch "$marker"
elif [ ! -f "$marker" ]; then
  echo "refused: $prefix is a Wine prefix these tests did not make; remove it to let them make their own" >&2
  exit 1
fi

# Wine's event log traces each record the program writes: OK (Enter) leaves one, the write-back at
# start-up and every other case none.
WINEDEBUG=-all,trace+eventlog "$wine" "$driver" "$program" "$case" 2>"$work/stderr"
status=$?
grep -v ':eventlog:' "$work/stderr" >&2
records=$(grep -c ':eventlog:ReportEventW' "$work/stderr")
expected=0
[ "$case" = enter-stores-host ] && expected=1
if [ "$records" != "$expected" ]; then
  echo "FAIL: $records records in the event log, expected $expected:" >&2
  grep ':eventlog:' "$work/stderr" >&2
  status=1
elif [ "$expected" = 1 ] &&
  ! grep -qF '; program \"CorvixTcpIp.exe\"; host name \"127.0.0.1\" -> \"server.corvix.invalid\"; port 234"' "$work/stderr"; then
  echo "FAIL: not the record of the stored host name:" >&2
  grep ':eventlog:' "$work/stderr" >&2
  status=1
fi
# The prefix's Wine server and desktop outlive the programs by a few seconds: let them end while their
# display is still there, so that the next case starts them afresh on its own.
"$wineserver" -w
exit $status
