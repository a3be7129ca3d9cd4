#!/bin/bash
# Builds signed: makes a throw-away self-signed code-signing certificate, configures a tree of its own
# from the preset with CORVIX_SIGNING_CERT and CORVIX_SIGNING_KEY, builds the MSI, and verifies every
# signature against that certificate: both programs, the MSI, and the programs inside the MSI. A
# certificate that did not sign them must not verify them.
# usage: msi_signed_test.sh <source dir> <signed tree> <build tree> <preset> <package name> <osslsigncode> <with-cli: 0|1>
set -uo pipefail
if [ $# -ne 7 ]; then
  echo "usage: msi_signed_test.sh <source dir> <signed tree> <build tree> <preset> <package name> <osslsigncode> <with-cli: 0|1>" >&2
  exit 2
fi
source_dir=$1 tree=$2 build_tree=$3 preset=$4 package=$5 osslsigncode=$6 with_cli=$7

# The tree is the test's own, under the build tree; it is kept, so that a second run only re-signs.
tree=$(realpath -m "$tree") build_tree=$(realpath -m "$build_tree")
if [[ "$tree" != "$build_tree"/?* ]]; then
  echo "refused: the signed tree $tree is not under the build tree $build_tree" >&2
  exit 2
fi
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

keys=$tree-keys
rm -rf "$keys"
mkdir -p "$keys"
certificate() {
  openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 2 -subj "/CN=$1/O=Qor" \
    -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
    -keyout "$keys/$2.key.pem" -out "$keys/$2.cert.pem" >"$keys/$2.log" 2>&1
}
if ! certificate "Corvix test signing" signing || ! certificate "Corvix other signer" other; then
  echo "FAIL: openssl could not make the certificates: $(cat "$keys"/*.log)" >&2
  exit 1
fi

log=$tree.log
if ! (cd "$source_dir" && cmake --preset "$preset" -B "$tree" -D BUILD_TESTING=OFF \
        -D CORVIX_SIGNING_CERT="$keys/signing.cert.pem" -D CORVIX_SIGNING_KEY="$keys/signing.key.pem" &&
      cmake --build "$tree" --target msi pe_check -j 2) >"$log" 2>&1; then
  tail -n 30 "$log" >&2
  echo "FAIL: the signed build failed (log: $log)" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && msiextract "$tree/$package" >/dev/null) || fail "msiextract $tree/$package"
programs=(CorvixTcpIp.exe)
if [ "$with_cli" = 1 ]; then programs+=(CorvixTcpIpCli.exe); fi
signed=("$tree/$package")
for program in "${programs[@]}"; do
  signed+=("$tree/packaging/windows/shipped/$program")
  inside=$(find "$work" -type f -name "$program")
  if [ -n "$inside" ]; then signed+=("$inside"); else fail "$program is not in $package"; fi
done

for file in "${signed[@]}"; do
  if ! "$osslsigncode" verify -in "$file" -CAfile "$keys/signing.cert.pem" >"$work/verify.log" 2>&1; then
    fail "$file does not verify against the signing certificate: $(tail -n 5 "$work/verify.log")"
  fi
  if "$osslsigncode" verify -in "$file" -CAfile "$keys/other.cert.pem" >/dev/null 2>&1; then
    fail "$file verifies against a certificate that did not sign it"
  fi
done

[ "$failures" -eq 0 ] || exit 1
echo "ok: ${#signed[@]} signatures verified: ${signed[*]}"
