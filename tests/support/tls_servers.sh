#!/usr/bin/env bash
# The HTTPS side of the test run: certificates made with openssl, the test CA
# trusted inside the test prefix (never by the machine), and one scripted test
# server per certificate, on 127.0.0.1 only:
#   BUILD/test-server-tls              the good certificate, on port 18744 (the
#                                      manifest address of the signed test build)
#   BUILD/test-server-tls-self-signed  a certificate signed by itself
#   BUILD/test-server-tls-other-name   a certificate for another host name
#   BUILD/test-server-tls-expired      a certificate that expired a year ago
# usage: tls_servers.sh start|stop BUILD
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
command=${1:?start or stop}
build=${2:?build folder}
certificates="$build/tls"
goodPort=18744  # the port of the signed test build's manifest address
server="$here/script_server.py"

stopAll() {
  for kind in "" -self-signed -other-name -expired; do
    python3 "$server" stop "$build/test-server-tls$kind" >/dev/null
  done
}

case $command in
start)
  stopAll
  bash "$here/make_certificates.sh" "$certificates"
  python3 "$server" start "$build/test-server-tls" --port "$goodPort" --tls "$certificates/good.pem" "$certificates/good.key"
  for kind in self-signed other-name expired; do
    python3 "$server" start "$build/test-server-tls-$kind" --tls "$certificates/$kind.pem" "$certificates/$kind.key"
  done
  # Trusts the CA, then asks the good server through WinHTTP, as the tests will:
  # a prefix whose HTTPS does not work fails here, with WinHTTP's error number.
  check="https://127.0.0.1:$goodPort/text/tls-ready"
  if ! said=$(wine "$build/brindle_trust_ca.exe" "Z:${certificates//\//\\}\\ca.der" "$check" </dev/null 2>&1); then
    echo "HTTPS does not work in the test prefix: $(echo "$said" | tr -d '\r' | grep -v -e ':fixme:' -e ':err:')" >&2
    stopAll
    exit 1
  fi
  ;;
stop)
  stopAll
  ;;
*)
  echo "unknown command $command" >&2
  exit 2
  ;;
esac
