#!/usr/bin/env bash
# Fetches the third-party sources the build needs into .deps/ (gitignored).
# Dear ImGui and nlohmann JSON come from Debian trixie through a private apt
# configuration, so the machine's own apt set-up is left untouched. The mirror
# is read from the machine's apt sources; nothing here names a host.
# Re-running is a no-op once everything is in place.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
deps="$root/.deps"
imguiVersion=1.90.1+ds-1
jsonVersion=3.11.3-2.1

if [ -f "$deps/imgui/imgui.h" ] && [ -f "$deps/imgui/backends/imgui_impl_dx11.cpp" ] \
   && [ -f "$deps/nlohmann/include/nlohmann/json.hpp" ]; then
  exit 0
fi

mirrorUri() {
  local uri=""
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    uri=$(awk '/^URIs:/ { for (i = 2; i <= NF; i++) if ($i !~ /security/) { print $i; exit } }' "$f")
    [ -n "$uri" ] && break
  done
  if [ -z "$uri" ] && [ -f /etc/apt/sources.list ]; then
    uri=$(awk '$1 == "deb" && $0 !~ /security/ { for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) { print $i; exit } }' /etc/apt/sources.list)
  fi
  [ -n "$uri" ] || { echo "fetch_deps: no Debian mirror found in the apt configuration" >&2; exit 1; }
  echo "$uri"
}

apt_dir="$deps/apt"
rm -rf "$apt_dir"
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/work"
uri=$(mirrorUri)
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
cat > "$apt_dir/sources.list" <<SRC
deb [signed-by=$keyring] $uri trixie main
deb-src [signed-by=$keyring] $uri trixie main
SRC
aptOpts=(-o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
         -o "Dir::Etc::sourcelist=$apt_dir/sources.list" -o "Dir::Etc::sourceparts=/nonexistent"
         -o "Dir::State::status=/var/lib/dpkg/status" -o "APT::Sandbox::User=root" -q)

echo "fetch_deps: reading trixie package lists"
apt-get "${aptOpts[@]}" update >/dev/null

cd "$apt_dir/work"
echo "fetch_deps: Dear ImGui $imguiVersion"
apt-get "${aptOpts[@]}" source --download-only "imgui=$imguiVersion" >/dev/null
rm -rf "$deps/imgui"
mkdir -p "$deps/imgui"
tar -xf imgui_*.orig.tar.* -C "$deps/imgui" --strip-components=1

echo "fetch_deps: nlohmann JSON $jsonVersion"
apt-get "${aptOpts[@]}" download "nlohmann-json3-dev=$jsonVersion" >/dev/null
rm -rf "$deps/nlohmann"
mkdir -p "$deps/nlohmann/unpacked"
dpkg-deb -x nlohmann-json3-dev_*.deb "$deps/nlohmann/unpacked"
mv "$deps/nlohmann/unpacked/usr/include" "$deps/nlohmann/include"
rm -rf "$deps/nlohmann/unpacked" "$apt_dir"

test -f "$deps/imgui/backends/imgui_impl_win32.cpp"
test -f "$deps/nlohmann/include/nlohmann/json.hpp"
echo "fetch_deps: done"
