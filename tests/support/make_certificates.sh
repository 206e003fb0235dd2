#!/usr/bin/env bash
# Makes the certificates of the HTTPS tests, with openssl, into OUT:
#   ca.pem/.der         a test certificate authority (trusted inside the test prefix only)
#   good.pem/.key       a server certificate for 127.0.0.1, signed by it
#   self-signed.*       the same names, but signed by itself
#   other-name.*        signed by the test CA, for another host name
#   expired.*           signed by the test CA for the right names, expired a year ago
# usage: make_certificates.sh OUT
set -euo pipefail
out=${1:?usage: make_certificates.sh OUT}
mkdir -p "$out"
cd "$out"

newKey() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:prime256v1 -out "$1" 2>/dev/null; }
# The servers are reached by address, never by the name "localhost", so that no
# test depends on how the machine resolves it. Windows matches an address
# against the IP entry; Wine's crypt32 compares the server name with DNS
# entries only, so the address is a DNS entry too.
names="subjectAltName=DNS:127.0.0.1,IP:127.0.0.1"

newKey ca.key
openssl req -x509 -new -key ca.key -out ca.pem -days 30 -subj "/CN=Brindle Test CA" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl x509 -in ca.pem -outform DER -out ca.der

# serverCertificate NAME SUBJECT-ALT-NAMES [extra openssl ca options]
serverCertificate() {
  local name=$1 alt=$2 host
  shift 2
  host=${alt#*DNS:}
  host=${host%%,*}
  newKey "$name.key"
  openssl req -new -key "$name.key" -out "$name.csr" -subj "/CN=$host" 2>/dev/null
  printf '%s\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n' "$alt" > "$name.ext"
  openssl x509 -req -in "$name.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -days 30 \
    -extfile "$name.ext" -out "$name.pem" "$@" 2>/dev/null
}
serverCertificate good "$names"
serverCertificate other-name "subjectAltName=DNS:elsewhere.example"

newKey self-signed.key
openssl req -x509 -new -key self-signed.key -out self-signed.pem -days 30 -subj "/CN=127.0.0.1" \
  -addext "$names" 2>/dev/null

# An expired one needs dates in the past, which only "openssl ca" sets.
newKey expired.key
openssl req -new -key expired.key -out expired.csr -subj "/CN=127.0.0.1" 2>/dev/null
mkdir -p ca-db
: > ca-db/index.txt
printf '1000\n' > ca-db/serial
cat > ca-db/ca.cnf <<CNF
[ca]
default_ca = test
[test]
database = ca-db/index.txt
serial = ca-db/serial
new_certs_dir = ca-db
default_md = sha256
policy = any
copy_extensions = none
x509_extensions = server
[any]
commonName = supplied
[server]
$names
extendedKeyUsage = serverAuth
basicConstraints = CA:FALSE
CNF
year=$(( $(date -u +%Y) - 1 ))
openssl ca -batch -config ca-db/ca.cnf -cert ca.pem -keyfile ca.key -in expired.csr -out expired.pem \
  -startdate "${year}0101000000Z" -enddate "${year}0201000000Z" -notext 2>/dev/null
rm -rf ca-db ./*.csr ./*.ext ./*.srl
echo "certificates in $out"
