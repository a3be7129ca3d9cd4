#!/bin/bash
# Installs what the builds and tests need on Debian 12; does nothing when everything is there.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config clang libclang-rt-14-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev netcat-openbsd iproute2
  qt6-base-dev libgl-dev fonts-liberation xvfb xauth
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  wine wine64 wine32:i386
  msitools wixl lintian dpkg-dev
  librsvg2-bin icoutils osslsigncode openssl desktop-file-utils
  # The monitoring agents that the check is tested in, and check_tcp and hyperfine for its benchmark.
  nagios-nrpe-server nagios-nrpe-plugin zabbix-agent icinga2-bin prometheus-node-exporter
  monitoring-plugins-basic hyperfine curl
)
# Of those, the ones that bring a service of their own: the tests start their own instances, in network
# namespaces of their own, and the machine's must neither start nor listen.
agents=(nagios-nrpe-server zabbix-agent icinga2-bin prometheus-node-exporter)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo=sudo; fi
echo "Installing: ${missing[*]}"
# Wine runs 32-bit Windows programs through its i386 half.
if ! dpkg --print-foreign-architectures | grep -qx i386; then $sudo dpkg --add-architecture i386; fi
$sudo apt-get update -q
# A package's scripts start its service through invoke-rc.d (or deb-systemd-invoke), which asks
# policy-rc.d first: where the machine has none, one that refuses every start is there for this install.
policy=/usr/sbin/policy-rc.d
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\n# scripts/install-deps.sh: no service starts while it installs\nexit 101\n' | $sudo tee "$policy" >/dev/null
  $sudo chmod 755 "$policy"
  trap '$sudo rm -f "$policy"' EXIT
fi
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"

# The agents just installed stay stopped and disabled, at boot too.
for package in "${missing[@]}"; do
  [[ " ${agents[*]} " == *" $package "* ]] || continue
  for unit in $(dpkg -L "$package" | grep -E '^/(usr/)?lib/systemd/system/[^/]+\.(service|timer)$' | xargs -r -n 1 basename); do
    if [ -d /run/systemd/system ]; then
      $sudo systemctl disable --now "$unit" >/dev/null 2>&1 || true
    else
      $sudo deb-systemd-helper disable "$unit" >/dev/null 2>&1 || true
    fi
  done
  for script in $(dpkg -L "$package" | grep -E '^/etc/init\.d/[^/]+$' | xargs -r -n 1 basename); do
    $sudo service "$script" stop >/dev/null 2>&1 || true
    $sudo update-rc.d "$script" disable >/dev/null 2>&1 || true
  done
done
