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

"$wine" "$driver" "$program" "$case"
status=$?
# The prefix's Wine server and desktop outlive the programs by a few seconds: let them end while their
# display is still there, so that the next case starts them afresh on its own.
"$wineserver" -w
exit $status
