#!/bin/sh
# Makes the throw-away certificate with which make package-windows-test signs
# the Windows release: a CA of its own (DIR/ca.pem, against which the test
# verifies the signatures) and a code-signing certificate it issued, with
# its key, in DIR/signer.p12, whose password is DIR/password. Made anew at
# each run; the CA's key is deleted, so it can sign nothing else.
# Usage: scripts/test-certificate.sh DIR
set -e
dir=${1:?usage: scripts/test-certificate.sh DIR}
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 7 \
    -subj "/CN=Vestrimond test CA" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr \
    -subj "/O=The Vestrimond host utility authors/CN=Vestrimond test signer" 2>/dev/null
printf '%s\n' basicConstraints=CA:FALSE keyUsage=critical,digitalSignature \
    extendedKeyUsage=codeSigning >signer.ext
openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 7 \
    -extfile signer.ext -out signer.pem 2>/dev/null
openssl rand -hex 16 >password
openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile ca.pem -out signer.p12 \
    -passout file:password
rm -f ca.key ca.srl signer.key signer.csr signer.ext
