#!/usr/bin/env bash
# scripts/sign-windows.sh signs a Windows program with a certificate made here and thrown away,
# osslsigncode verifies the signature, and a byte changed after signing fails it; without a
# certificate the script says nothing was signed.
#
#   tests/windows/signing.sh KRO_EXE
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cp "$1" "$work/kro.exe"
KRO_SIGN_PKCS12= bash "$here/scripts/sign-windows.sh" "$work/kro.exe" 2>"$work/unsigned.txt"
grep -q "NOT signed" "$work/unsigned.txt" || { echo "signing: no word that nothing was signed"; exit 1; }

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=kroanalyze test/O=Test Office" \
  -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
echo "test-password" >"$work/password"
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -passout file:"$work/password" \
  -out "$work/cert.p12"
KRO_SIGN_PKCS12=$work/cert.p12 KRO_SIGN_PASSWORD_FILE=$work/password \
  bash "$here/scripts/sign-windows.sh" "$work/kro.exe" >/dev/null
osslsigncode verify -CAfile "$work/cert.pem" -in "$work/kro.exe" >"$work/verify.txt" 2>&1 ||
  { cat "$work/verify.txt"; echo "signing: the signed kro.exe does not verify"; exit 1; }

# A byte in the middle of the signed program changed.
python3 - "$work/kro.exe" <<'PY'
import sys
data = bytearray(open(sys.argv[1], "rb").read())
data[len(data) // 2] ^= 0xFF
open(sys.argv[1], "wb").write(data)
PY
if osslsigncode verify -CAfile "$work/cert.pem" -in "$work/kro.exe" >/dev/null 2>&1; then
  echo "signing: a changed kro.exe still verifies"
  exit 1
fi
echo "kro.exe signed with a throwaway certificate verifies, and fails once changed"
