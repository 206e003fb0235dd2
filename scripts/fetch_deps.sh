#!/usr/bin/env bash
# Fetches the third-party sources the build needs into .deps/ (gitignored).
# Dear ImGui and nlohmann JSON come from Debian trixie through a private apt
# configuration, so the machine's own apt set-up is left untouched. The mirror
# is read from the machine's apt sources; nothing here names a host.
# Re-running is a no-op once the wanted versions are in place.
#
# The pins are exact Debian revisions. When the archive no longer offers a
# pinned revision, the newest revision of the same upstream version is taken
# (and named); another upstream version is never taken.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
deps="$root/.deps"
imguiUpstream=1.90.1
imguiPinned=1.90.1+ds-1
jsonUpstream=3.11.3
jsonPinned=3.11.3-2.1

# The upstream version inside a Debian version: no epoch, no Debian revision,
# no repack suffix ("1:1.90.1+ds-2" is 1.90.1).
upstreamOf() {
  local version=${1#*:}
  version=${version%-*}
  version=${version%%+*}
  echo "${version%%~*}"
}

# pickRevision PINNED UPSTREAM OFFERED...: the pinned revision when it is
# offered, else the newest offered one of the same upstream version; fails
# when there is none.
pickRevision() {
  local pinned=$1 upstream=$2 best="" offered
  shift 2
  for offered in "$@"; do
    [ "$offered" = "$pinned" ] && { echo "$pinned"; return 0; }
  done
  for offered in "$@"; do
    [ "$(upstreamOf "$offered")" = "$upstream" ] || continue
    if [ -z "$best" ] || dpkg --compare-versions "$offered" gt "$best"; then
      best=$offered
    fi
  done
  [ -n "$best" ] || return 1
  echo "$best"
}

# The versions that .deps/ holds now, as "imgui json"; "none" for a missing one.
fetchedVersions() {
  local imgui=none json=none header macros
  header="$deps/imgui/imgui.h"
  macros="$deps/nlohmann/include/nlohmann/detail/abi_macros.hpp"
  if [ -f "$header" ] && [ -f "$deps/imgui/backends/imgui_impl_dx11.cpp" ]; then
    imgui=$(sed -n 's/^#define IMGUI_VERSION *"\([^"]*\)".*/\1/p' "$header" | head -n 1)
  fi
  if [ -f "$macros" ] && [ -f "$deps/nlohmann/include/nlohmann/json.hpp" ]; then
    json=$(awk '/#define NLOHMANN_JSON_VERSION_(MAJOR|MINOR|PATCH) / { v = v (v == "" ? "" : ".") $3 } END { print v }' "$macros")
  fi
  echo "${imgui:-none} ${json:-none}"
}

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

# chooseRevision WHAT PINNED UPSTREAM OFFERED...: pickRevision, saying so when
# the pin had to give way.
chooseRevision() {
  local what=$1 pinned=$2 upstream=$3 chosen
  shift 3
  if ! chosen=$(pickRevision "$pinned" "$upstream" "$@"); then
    echo "fetch_deps: the archive offers no $what $upstream (offered: ${*:-nothing})" >&2
    return 1
  fi
  [ "$chosen" = "$pinned" ] || echo "fetch_deps: $what $pinned is no longer offered; taking $chosen" >&2
  echo "$chosen"
}

main() {
  if [ "$(fetchedVersions)" = "$imguiUpstream $jsonUpstream" ]; then
    exit 0
  fi

  local apt_dir="$deps/apt" uri keyring=/usr/share/keyrings/debian-archive-keyring.gpg
  rm -rf "$apt_dir"
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/work"
  uri=$(mirrorUri)
  cat > "$apt_dir/sources.list" <<SRC
deb [signed-by=$keyring] $uri trixie main
deb-src [signed-by=$keyring] $uri trixie main
SRC
  local aptOpts=(-o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
                 -o "Dir::Etc::sourcelist=$apt_dir/sources.list" -o "Dir::Etc::sourceparts=/nonexistent"
                 -o "Dir::State::status=/var/lib/dpkg/status" -o "APT::Sandbox::User=root" -q)

  echo "fetch_deps: reading trixie package lists"
  apt-get "${aptOpts[@]}" update >/dev/null

  local imguiVersion jsonVersion
  # shellcheck disable=SC2046
  imguiVersion=$(chooseRevision "Dear ImGui" "$imguiPinned" "$imguiUpstream" \
    $(apt-cache "${aptOpts[@]}" showsrc imgui | awk '/^Version:/ { print $2 }'))
  # shellcheck disable=SC2046
  jsonVersion=$(chooseRevision "nlohmann JSON" "$jsonPinned" "$jsonUpstream" \
    $(apt-cache "${aptOpts[@]}" show nlohmann-json3-dev | awk '/^Version:/ { print $2 }'))

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

  local found
  found=$(fetchedVersions)
  if [ "$found" != "$imguiUpstream $jsonUpstream" ]; then
    echo "fetch_deps: fetched $found, wanted $imguiUpstream $jsonUpstream" >&2
    exit 1
  fi
  echo "fetch_deps: done"
}

# Sourced (by its test), it only defines the functions.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  main "$@"
fi
