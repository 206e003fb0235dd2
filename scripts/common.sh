# Shared by the set-up, test and demo scripts: packages, build, and one Wine
# session (a private X display, a throwaway prefix, one persistent wineserver).
# Source it; it defines functions and changes nothing by itself.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build"

packages=(g++-mingw-w64-x86-64-posix cmake make wine wine64 xvfb xauth x11-utils imagemagick xdotool
          libstb-dev googletest python3 dpkg-dev ca-certificates
          python3-fonttools python3-brotli g++ libssl-dev nginx unicode-data)

# Native fuzzing of the manifest and state-file readers and the path rules (tests/fuzz/).
packages+=(clang libclang-rt-14-dev)

# The fonts come from the npm registry (scripts/fetch_fonts.sh): Debian's npm
# unless the machine has one of its own.
npmPackage() {
  command -v npm >/dev/null 2>&1 || echo npm
}
packages+=($(npmPackage))

installPackages() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "== installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -q >/dev/null
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
}

buildAll() {
  bash "$root/scripts/fetch_deps.sh"
  echo "== building"
  cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE="${BRINDLE_BUILD_TYPE:-RelWithDebInfo}" "$@" >/dev/null
  cmake --build "$build" -j"$(nproc)" -- --no-print-directory >"$build/build.log" 2>&1 \
    || { tail -n 60 "$build/build.log"; echo "build failed" >&2; return 1; }
}

xvfbPid=""
# Xvfb picks a free display itself (-displayfd), so parallel runs never collide.
startXvfb() {
  local numberFile
  numberFile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$numberFile" >/dev/null 2>&1 &
  xvfbPid=$!
  for _ in $(seq 100); do
    if [ -s "$numberFile" ]; then
      export DISPLAY=":$(tr -d '[:space:]' <"$numberFile")"
      rm -f "$numberFile"
      xdpyinfo >/dev/null 2>&1 && return 0
    fi
    sleep 0.1
  done
  rm -f "$numberFile"
  echo "Xvfb did not start" >&2
  return 1
}

# Creates a fresh prefix under build/ and points every Wine call of this shell at it.
setWineEnvironment() {
  export WINEPREFIX="$build/wineprefix"
  export WINEARCH=win64
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  # A fresh prefix links Desktop and Documents into $HOME: keep them out of the real one.
  export HOME="$build/winehome"
  mkdir -p "$HOME"
}

wineBootPid=""
startWinePrefix() {
  setWineEnvironment
  rm -rf "$WINEPREFIX"
  wineboot --init >/dev/null 2>&1 &
  wineBootPid=$!
}

# After the prefix exists: keep one server for the whole run, and start Wine's
# helper processes detached, so no later test inherits their pipes.
startWineServer() {
  if [ -n "$wineBootPid" ]; then wait "$wineBootPid" || true; fi
  wineserver -w
  wineserver -p
  wine cmd /c exit >/dev/null 2>&1 </dev/null || true
  # A crashing program should end with its exception code, not wait in winedbg.
  wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f \
    >/dev/null 2>&1 </dev/null || true
}

# Free means nobody listens on 127.0.0.1:$1; connections still closing there
# (TIME_WAIT) do not count, as a server that binds with SO_REUSEADDR sees it.
portFree() {
  python3 -c 'import socket, sys
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", int(sys.argv[1])))' "$1" 2>/dev/null
}

stopWineSession() {
  if [ -n "${WINEPREFIX:-}" ]; then wineserver -k >/dev/null 2>&1 || true; fi
  if [ -n "$xvfbPid" ]; then kill "$xvfbPid" >/dev/null 2>&1 || true; wait "$xvfbPid" 2>/dev/null || true; fi
  xvfbPid=""
}
