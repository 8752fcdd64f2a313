#!/usr/bin/env bash
# Signs a release archive for the updater and writes the manifest entry that announces it.
#
#   scripts/sign-release.sh new-key KEY.pem             make an Ed25519 signing key (keep it offline)
#   scripts/sign-release.sh public-key KEY.pem          print the Base64 public key for the bundle
#                                                       (cmake -DORVANE_UPDATE_PUBLIC_KEY=...)
#   scripts/sign-release.sh sign KEY.pem ARCHIVE [BUILD] write ARCHIVE.sig and ARCHIVE.manifest.json
#
# Ed25519 rather than RSA-PSS: the public key is 32 bytes (one short line in bundle.json), signatures
# are deterministic, and there are no padding or digest choices for this script and the program to
# disagree on. The signature covers the archive's bytes exactly; the program verifies it before it
# unpacks anything.
set -euo pipefail

usage() { sed -n '2,8p' "$0" >&2; exit 2; }
[ $# -ge 2 ] || usage

command=$1
key=$2

public_key() {
  # The DER form of an Ed25519 public key ends with the 32 raw key bytes.
  openssl pkey -in "$key" -pubout -outform DER | tail -c 32 | base64 -w0
}

case "$command" in
  new-key)
    [ ! -e "$key" ] || { echo "sign-release: $key already exists; not overwriting it" >&2; exit 1; }
    (umask 077 && openssl genpkey -algorithm ed25519 -out "$key")
    echo "public key: $(public_key)"
    ;;
  public-key)
    public_key
    echo
    ;;
  sign)
    [ $# -ge 3 ] || usage
    archive=$3
    build=${4:-}
    [ -f "$archive" ] || { echo "sign-release: no archive at $archive" >&2; exit 1; }
    # The version the archive says it is, so the manifest can never promise another one.
    version=$(tar -xOf "$archive" --wildcards '*/share/orvane/release.json' |
              python3 -c 'import json,sys; print(json.load(sys.stdin)["version"])')
    tmp=$(mktemp -d)
    trap 'rm -rf "$tmp"' EXIT
    openssl pkeyutl -sign -rawin -inkey "$key" -in "$archive" -out "$tmp/sig"
    openssl pkey -in "$key" -pubout -out "$tmp/pub.pem"
    openssl pkeyutl -verify -rawin -pubin -inkey "$tmp/pub.pem" -in "$archive" -sigfile "$tmp/sig" >/dev/null
    mv "$tmp/sig" "$archive.sig"
    name=$(basename "$archive")
    python3 - "$version" "$build" "$name" > "$archive.manifest.json" <<'PY'
import json, sys
version, build, name = sys.argv[1:4]
app = {"version": version, "downloadPath": "/downloads/" + name}
if build:
    app["build"] = build
print(json.dumps({"app": app}, indent=2))
PY
    echo "signed $archive (version $version): $archive.sig, $archive.manifest.json"
    ;;
  *) usage ;;
esac
