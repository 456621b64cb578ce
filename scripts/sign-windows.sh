#!/usr/bin/env bash
# Signs Windows programs and installers (Authenticode, with Debian's osslsigncode) when a
# code-signing certificate is given, in place:
#   KRO_SIGN_PKCS12          the certificate with its private key (.pfx / .p12)
#   KRO_SIGN_PASSWORD_FILE   a file holding its password (or KRO_SIGN_PASSWORD)
#   KRO_SIGN_TIMESTAMP       a timestamping server, so that signatures outlive the certificate
# Without a certificate it says plainly that nothing was signed, and succeeds.
#
#   scripts/sign-windows.sh FILE.exe...
set -euo pipefail

if [[ -z ${KRO_SIGN_PKCS12:-} ]]; then
  echo "sign-windows: NOT signed (KRO_SIGN_PKCS12 names no certificate): Windows will say 未知发布者 and" \
    "SmartScreen will warn: $(for f in "$@"; do basename "$f"; done | tr '\n' ' ')" >&2
  exit 0
fi
command -v osslsigncode >/dev/null ||
  { echo "sign-windows: osslsigncode is missing (Debian's osslsigncode)" >&2; exit 1; }
password=()
if [[ -n ${KRO_SIGN_PASSWORD_FILE:-} ]]; then
  password=(-readpass "$KRO_SIGN_PASSWORD_FILE")
elif [[ -n ${KRO_SIGN_PASSWORD:-} ]]; then
  password=(-pass "$KRO_SIGN_PASSWORD")
fi
timestamp=()
[[ -n ${KRO_SIGN_TIMESTAMP:-} ]] && timestamp=(-ts "$KRO_SIGN_TIMESTAMP")
for file in "$@"; do
  osslsigncode sign -pkcs12 "$KRO_SIGN_PKCS12" "${password[@]}" -h sha256 -n kroanalyze \
    "${timestamp[@]}" -in "$file" -out "$file.signed" >/dev/null
  mv "$file.signed" "$file"
  echo "signed: $(basename "$file")"
done
