#!/usr/bin/env bash
# The whole job in one command: installs and builds what is needed, makes the
# sample release (scripts/sample_release.sh), serves it with nginx on the
# loopback port of the launcher's built-in manifest address, and runs the
# launcher in a fresh Wine prefix.
#
# With a display (DISPLAY set) you click through the launcher yourself.
# Without one, or with --headless, the script drives it like a user under
# Xvfb: the install prompt, "Tiếp tục", the progress, the completion and the
# game's start, with a screenshot of each screen in out/demo/; then a second
# start that finds everything up to date; then a summary. It stops everything
# it started and exits 0 only when all of that happened.
#
# --in-test-session: run inside scripts/test.sh's session (its build, display
# and Wine prefix, which it leaves as it found them), as the test demo.headless.
# BRINDLE_SAMPLE_LARGE_MB sets the size of the release's large file (300).
set -euo pipefail
. "$(dirname "$0")/common.sh"

headless=0
inSession=0
for arg in "$@"; do
  case "$arg" in
    --headless) headless=1 ;;
    --in-test-session) headless=1 inSession=1 ;;
    *) echo "usage: scripts/demo.sh [--headless | --in-test-session]" >&2; exit 2 ;;
  esac
done
[ -n "${DISPLAY:-}" ] || headless=1

demo="$build/demo"
server="$demo/nginx"
nginxPid=""

stopNginx() {
  if [ -n "$nginxPid" ]; then
    kill "$nginxPid" 2>/dev/null || true
    wait "$nginxPid" 2>/dev/null || true
    nginxPid=""
  fi
}
finish() {
  stopNginx
  if [ "$inSession" -eq 0 ]; then stopWineSession; fi
}
trap finish EXIT

# The launcher fetches its manifest from the address built into it: the demo
# serves that address, which must be a loopback one.
manifestPort() {
  local url
  url=$(sed -n 's/^BRINDLE_MANIFEST_URL:[A-Z]*=//p' "$build/CMakeCache.txt")
  if [[ ! "$url" =~ ^http://127\.0\.0\.1:([0-9]+)/manifest\.json$ ]]; then
    echo "demo: this launcher fetches $url; the demo can only serve http://127.0.0.1:PORT/manifest.json" >&2
    return 1
  fi
  echo "${BASH_REMATCH[1]}"
}

# nginx with a configuration of its own in build/demo/nginx/, in the
# foreground of a background job, so that its process id is ours to stop.
startNginx() {
  local port=$1 release=$2
  for _ in $(seq 60); do portFree "$port" && break; sleep 1; done
  if ! portFree "$port"; then
    echo "demo: port $port is taken (by a test server?); see: ss -ltnp" >&2
    return 1
  fi
  rm -rf "$server"
  mkdir -p "$server/temp"
  cat >"$server/nginx.conf" <<EOF
# The demo's update server: the sample release on 127.0.0.1:$port only.
daemon off;
worker_processes 1;
user $(id -un) $(id -gn);
pid $server/nginx.pid;
error_log $server/error.log;
events { worker_connections 64; }
http {
  types { application/json json; }
  default_type application/octet-stream;
  access_log $server/access.log;
  client_body_temp_path $server/temp/body;
  proxy_temp_path $server/temp/proxy;
  fastcgi_temp_path $server/temp/fastcgi;
  uwsgi_temp_path $server/temp/uwsgi;
  scgi_temp_path $server/temp/scgi;
  sendfile on;
  server {
    listen 127.0.0.1:$port;
    root $release;
    location / { try_files \$uri =404; }
  }
}
EOF
  nginx -p "$server" -c "$server/nginx.conf" -e "$server/error.log" 2>>"$server/error.log" &
  nginxPid=$!
  for _ in $(seq 100); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "== serving $release on http://127.0.0.1:$port/ (nginx, $server/nginx.conf)"
      return 0
    fi
    kill -0 "$nginxPid" 2>/dev/null || break
    sleep 0.1
  done
  echo "demo: nginx did not start:" >&2
  cat "$server/error.log" >&2
  return 1
}

if [ "$inSession" -eq 0 ]; then
  installPackages
  if [ "$headless" -eq 1 ]; then startXvfb; fi
  mkdir -p "$build"
  startWinePrefix
  buildAll
  startWineServer
fi

port=$(manifestPort)
echo "== making the sample release"
bash "$root/scripts/sample_release.sh" "$demo/release" "http://127.0.0.1:$port/files"
startNginx "$port" "$demo/release"

if [ "$headless" -eq 0 ]; then
  echo "== the launcher is open: click through it; the demo ends when it closes"
  wine "$build/brindle.exe" || true
  python3 "$root/scripts/demo_drive.py" report --release "$demo/release"
  if [ -t 0 ]; then read -r -p "== press Enter to stop the game, the server and Wine " _ || true; fi
  exit 0
fi

echo "== driving the launcher (Wine prefix $WINEPREFIX)"
driveArgs=(drive --release "$demo/release" --out "$root/out/demo" --access-log "$server/access.log")
if [ "$inSession" -eq 1 ]; then driveArgs+=(--clean-up); fi
python3 "$root/scripts/demo_drive.py" "${driveArgs[@]}"
