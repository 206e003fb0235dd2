#!/usr/bin/env bash
# The set-up scripts' decisions, without a network: which revision of a pinned
# dependency is taken, when .deps/ counts as fetched, when npm is installed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
failures=0

expect() {  # expect WHAT EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then
    echo "FAIL: $1: expected '$2', got '$3'"
    failures=$((failures + 1))
  else
    echo "ok: $1"
  fi
}

# shellcheck source=../../scripts/fetch_deps.sh
. "$root/scripts/fetch_deps.sh"
set +e

expect "the pin while it is offered" "1.90.1+ds-1" "$(pickRevision 1.90.1+ds-1 1.90.1 1.90.1+ds-2 1.90.1+ds-1)"
expect "the newest revision of the same upstream version" "1.90.1+ds-3" \
  "$(pickRevision 1.90.1+ds-1 1.90.1 1.90.1+ds-2 1.91.0+ds-1 1.90.1+ds-3 1.90.1+ds-1.1 1.90.10+ds-1)"
expect "an epoch and a binNMU are read" "1:1.90.1+ds-1+b1" "$(pickRevision 1.90.1+ds-1 1.90.1 1:1.90.1+ds-1+b1)"
expect "the JSON pin's upstream" "3.11.3-4" "$(pickRevision 3.11.3-2.1 3.11.3 3.11.2-1 3.11.3-4 3.12.0-1)"
pickRevision 1.90.1+ds-1 1.90.1 1.91.0+ds-1 1.89.9+ds-1 >/dev/null
expect "no other upstream version" "1" "$?"
pickRevision 1.90.1+ds-1 1.90.1 >/dev/null
expect "nothing offered" "1" "$?"
expect "a fallback is named" "fetch_deps: Dear ImGui 1.90.1+ds-1 is no longer offered; taking 1.90.1+ds-2" \
  "$(chooseRevision "Dear ImGui" 1.90.1+ds-1 1.90.1 1.90.1+ds-2 2>&1 >/dev/null)"

# What .deps/ holds, from the sources themselves.
deps=$(mktemp -d)
trap 'rm -rf "$deps"' EXIT
expect "nothing fetched" "none none" "$(fetchedVersions)"
mkdir -p "$deps/imgui/backends" "$deps/nlohmann/include/nlohmann/detail"
echo '#define IMGUI_VERSION       "1.89.9"' > "$deps/imgui/imgui.h"
touch "$deps/imgui/backends/imgui_impl_dx11.cpp" "$deps/nlohmann/include/nlohmann/json.hpp"
printf '#define NLOHMANN_JSON_VERSION_MAJOR 3   // NOLINT\n#define NLOHMANN_JSON_VERSION_MINOR 11  // NOLINT\n#define NLOHMANN_JSON_VERSION_PATCH 3   // NOLINT\n' \
  > "$deps/nlohmann/include/nlohmann/detail/abi_macros.hpp"
expect "another Dear ImGui counts as not fetched" "1.89.9 3.11.3" "$(fetchedVersions)"
echo '#define IMGUI_VERSION       "1.90.1"' > "$deps/imgui/imgui.h"
expect "the wanted versions" "$imguiUpstream $jsonUpstream" "$(fetchedVersions)"
rm "$deps/imgui/backends/imgui_impl_dx11.cpp"
expect "a source without its backend" "none 3.11.3" "$(fetchedVersions)"

# npm: Debian's package only where the machine has no npm of its own.
# shellcheck source=../../scripts/common.sh
. "$root/scripts/common.sh"
bin=$(mktemp -d)
expect "no npm on the PATH" "npm" "$(PATH=$bin npmPackage)"
printf '#!/bin/sh\n' > "$bin/npm"
chmod +x "$bin/npm"
expect "an npm on the PATH" "" "$(PATH=$bin npmPackage)"
rm -rf "$bin"

[ "$failures" -eq 0 ] || { echo "$failures failed"; exit 1; }
echo "all passed"
