#!/usr/bin/env bash
# Installs what the tests need, builds, and runs every test under Wine and Xvfb.
set -euo pipefail
. "$(dirname "$0")/common.sh"

installPackages
trap stopWineSession EXIT
startXvfb
mkdir -p "$build"
startWinePrefix          # ~10 s, overlaps with the build
buildAll
startWineServer

echo "== testing"
cd "$build"
ctest --output-on-failure -j2 --timeout 900 "$@"
