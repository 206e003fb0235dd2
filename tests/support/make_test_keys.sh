#!/usr/bin/env bash
# Makes the signing keys of the tests with openssl, into OUT (at configure
# time: the signed test build builds the public one in):
#   manifest.key  P-256, SEC1 ("openssl ecparam -genkey"), manifest.pub its public key
#   other.key     P-256, PKCS#8 ("openssl genpkey"), other.pub
#   p384.key      a key on another curve, encrypted.key a key with a pass phrase
# usage: make_test_keys.sh OUT
set -euo pipefail
out=${1:?usage: make_test_keys.sh OUT}
mkdir -p "$out"
cd "$out"
openssl ecparam -genkey -name prime256v1 -out manifest.key 2>/dev/null
openssl ec -in manifest.key -pubout -out manifest.pub 2>/dev/null
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out other.key 2>/dev/null
openssl ec -in other.key -pubout -out other.pub 2>/dev/null
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-384 -out p384.key 2>/dev/null
openssl ec -in p384.key -pubout -out p384.pub 2>/dev/null
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -aes-256-cbc -pass pass:brindle \
  -out encrypted.key 2>/dev/null
