#!/usr/bin/env bash
# Benchmarks, side by side in one run: installs what they need, builds the
# launcher and the benchmark programs into build-bench/, starts one Xvfb, one
# persistent wineserver on a throwaway prefix and nginx on 127.0.0.1, runs
# bench/bench.py, which prints the table, and takes everything down again.
#
#   bash bench/run.sh                     full sizes (10 to 15 minutes, 8 GiB of disk)
#   BENCH_SCALE=small bash bench/run.sh   a quick smoke run
# Sizes are overridable one by one (BENCH_HASH_MIB, BENCH_RELEASE_FILES, ...:
# see bench/bench.py); BENCH_KEEP=1 keeps the generated files afterwards.
set -euo pipefail
. "$(dirname "$0")/../scripts/common.sh"

# Everything of the benchmark lives apart from the tests' build/.
build="$root/build-bench"
packages+=(nginx curl openssl strace valgrind)

anyFreePort() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

nginxPid=""
startNginx() {
  local dir="$build/nginx"
  mkdir -p "$dir/temp"
  local userLine=""
  [ "$(id -u)" -ne 0 ] || userLine="user root;"  # workers read the build folder as its owner
  cat >"$dir/nginx.conf" <<EOF
$userLine
worker_processes 1;
daemon off;
pid $dir/nginx.pid;
error_log $dir/error.log warn;
events { worker_connections 256; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  keepalive_requests 100000;
  client_body_temp_path $dir/temp/body;
  proxy_temp_path $dir/temp/proxy;
  fastcgi_temp_path $dir/temp/fastcgi;
  uwsgi_temp_path $dir/temp/uwsgi;
  scgi_temp_path $dir/temp/scgi;
  types { application/json json; }
  default_type application/octet-stream;
  server {
    listen 127.0.0.1:$port;
    root $build/bench-data/www;
    # How many connections it has accepted: the benchmark counts them per program.
    location = /nginx-status { stub_status; }
  }
  # The same files over HTTPS, with a certificate of the benchmark's test CA.
  server {
    listen 127.0.0.1:$tlsPort ssl;
    ssl_certificate $build/tls/good.pem;
    ssl_certificate_key $build/tls/good.key;
    root $build/bench-data/www;
  }
}
EOF
  mkdir -p "$build/bench-data/www"
  nginx -p "$dir" -c "$dir/nginx.conf" -e "$dir/error.log" &
  nginxPid=$!
  for _ in $(seq 100); do
    curl -s -o /dev/null "http://127.0.0.1:$port/" && return 0
    kill -0 "$nginxPid" 2>/dev/null || break
    sleep 0.1
  done
  cat "$dir/error.log" >&2 || true
  echo "nginx did not start on 127.0.0.1:$port" >&2
  return 1
}

cleanUp() {
  if [ -n "$nginxPid" ]; then kill "$nginxPid" 2>/dev/null || true; wait "$nginxPid" 2>/dev/null || true; fi
  stopWineSession
  if [ "${BENCH_KEEP:-0}" != 1 ]; then
    rm -rf "$build/bench-data"
    [ -z "${WINEPREFIX:-}" ] || rm -rf "$WINEPREFIX/drive_c/BenchInstall" "$WINEPREFIX/drive_c/BenchBig"
  fi
}

installPackages
mkdir -p "$build"
# The manifest address is built into the launcher, so the port is part of the
# build: keep the last one while it is free, so a rerun relinks nothing.
port=$(cat "$build/bench-port" 2>/dev/null || true)
if [ -z "$port" ] || ! portFree "$port"; then
  port=$(anyFreePort)
fi
echo "$port" >"$build/bench-port"
tlsPort=$(anyFreePort)

trap cleanUp EXIT
startXvfb
startWinePrefix
# A program that crashes ends at once instead of waiting on Wine's debugger,
# which nobody attaches to here.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winedbg.exe=d"
buildAll -DBRINDLE_BENCH=ON -DBRINDLE_TESTS=OFF -DBRINDLE_MANIFEST_URL="http://127.0.0.1:$port/manifest.json"
startWineServer
# HTTPS: a test CA made here and trusted in the throwaway prefix only.
bash "$root/tests/support/make_certificates.sh" "$build/tls" >/dev/null
wine "$build/bench/bench_trust_ca.exe" "Z:${build//\//\\}\\tls\\ca.der" </dev/null >/dev/null 2>&1
startNginx

echo "== benchmarks (nginx on 127.0.0.1:$port and, over HTTPS, :$tlsPort, display $DISPLAY)"
python3 "$root/bench/bench.py" --build "$build" --port "$port" --tls-port "$tlsPort" --ca "$build/tls/ca.pem" "$@"
