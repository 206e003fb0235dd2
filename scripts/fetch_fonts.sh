#!/usr/bin/env bash
# Builds the two fonts the program embeds, Be Vietnam Pro Regular and Bold
# (SIL Open Font License 1.1), and puts the licence text beside the program.
# The package comes from the npm registry into .deps/ at a pinned version; the
# TrueType files are made from it in the build folder and never committed.
#
# usage: fetch_fonts.sh BUILD_DIR
#   writes BUILD_DIR/generated/BeVietnamPro-{Regular,Bold}.ttf and BUILD_DIR/OFL.txt
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: fetch_fonts.sh BUILD_DIR}
version=5.2.8
prefix="$root/.deps/fontsource"
package="$prefix/node_modules/@fontsource/be-vietnam-pro"

installedVersion() {
  sed -n 's/^ *"version": *"\([^"]*\)".*/\1/p' "$package/package.json" 2>/dev/null | head -n 1
}

if [ "$(installedVersion)" != "$version" ]; then
  echo "fetch_fonts: @fontsource/be-vietnam-pro $version"
  rm -rf "$prefix"
  mkdir -p "$prefix"
  npm install --prefix "$prefix" --no-save --no-package-lock --no-audit --no-fund --ignore-scripts \
      --loglevel=error "@fontsource/be-vietnam-pro@$version" >/dev/null
  [ "$(installedVersion)" = "$version" ] || { echo "fetch_fonts: npm did not install $version" >&2; exit 1; }
fi

# Debian's interpreter carries python3-fonttools; one earlier on PATH may not.
python=/usr/bin/python3
[ -x "$python" ] || python=python3
"$python" "$root/scripts/build_fonts.py" "$package" "$build/generated"
cp "$package/LICENSE" "$build/OFL.txt"
