#!/usr/bin/env bash
# Installs, builds and opens the launcher under Wine: on your display when
# DISPLAY is set, otherwise on a private Xvfb display with a screenshot in out/.
set -euo pipefail
. "$(dirname "$0")/common.sh"

installPackages
trap stopWineSession EXIT
if [ -z "${DISPLAY:-}" ]; then
  headless=1
  startXvfb
else
  headless=0
fi
mkdir -p "$build"
startWinePrefix
buildAll
startWineServer

if [ "$headless" -eq 0 ]; then
  echo "== the launcher is open; close it to end the demo"
  wine "$build/brindle.exe"
  exit 0
fi

mkdir -p "$root/out"
wine "$build/brindle.exe" >/dev/null 2>&1 &
launcher=$!
window=""
for _ in $(seq 100); do
  window=$(xdotool search --name '^BRINDLE Updater$' 2>/dev/null | head -n 1 || true)
  [ -n "$window" ] && break
  sleep 0.2
done
[ -n "$window" ] || { echo "the launcher window did not appear" >&2; exit 1; }
sleep 1
import -display "$DISPLAY" -window root "$root/out/launcher.png"
echo "== screenshot: out/launcher.png"
xdotool key --window "$window" alt+F4
wait "$launcher"
echo "== the launcher closed with exit code $?"
