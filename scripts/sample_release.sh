#!/usr/bin/env bash
# Makes the sample release that the demo serves, in OUT (default build/demo/release):
#   OUT/files/          a few folders of game data with Vietnamese names, one
#                       large file made on the spot so that the download's
#                       progress and speed show (BRINDLE_SAMPLE_LARGE_MB
#                       megabytes, default 300), the stand-in client programs
#                       and uninstall.exe
#   OUT/manifest.json   written by brindle-publish for BASE_URL
#                       (default http://127.0.0.1:18743/files)
# Usage: scripts/sample_release.sh [OUT [BASE_URL]]; needs a finished build.
set -euo pipefail
. "$(dirname "$0")/common.sh"

out="${1:-$build/demo/release}"
baseUrl="${2:-http://127.0.0.1:18743/files}"
largeMb="${BRINDLE_SAMPLE_LARGE_MB:-300}"
publish="$build/native/brindle-publish"
files="$out/files"
large="gói dữ liệu lớn.rpf"

[ -x "$publish" ] || { echo "sample release: $publish is missing; build first" >&2; exit 1; }
[[ "$largeMb" =~ ^[0-9]+$ ]] || { echo "sample release: BRINDLE_SAMPLE_LARGE_MB must be a number" >&2; exit 1; }

# Everything but the large file is made anew; making that one takes longest.
mkdir -p "$files"
find "$files" -mindepth 1 ! -path "$files/$large" -delete

text() {
  mkdir -p "$(dirname "$files/$1")"
  cat >"$files/$1"
}
noise() {
  mkdir -p "$(dirname "$files/$1")"
  head -c "$2" /dev/urandom >"$files/$1"
}

text "hướng dẫn.txt" <<'EOF'
Chào mừng đến với BRINDLEHUB!
Trình khởi chạy tự cài đặt và cập nhật các tệp trò chơi, rồi mở trò chơi.
EOF
text "cấu hình/máy chủ.json" <<'EOF'
{"tên": "BRINDLEHUB", "địa chỉ": "127.0.0.1", "cổng": 22005, "ngôn ngữ": "vi"}
EOF
text "dữ liệu/phương tiện/xe máy.cfg" <<'EOF'
tên = Xe máy điện
tốc độ tối đa = 80
EOF
noise "dữ liệu/bản đồ/thành phố Hồ Chí Minh.map" 262144
noise "dữ liệu/bản đồ/đồng bằng sông Cửu Long.map" 524288
noise "dữ liệu/âm thanh/nhạc nền.ogg" 1048576
noise "dữ liệu/âm thanh/tiếng động cơ.ogg" 196608

largeBytes=$((largeMb * 1048576))
if [ "$(stat -c %s "$files/$large" 2>/dev/null || echo none)" != "$largeBytes" ]; then
  head -c "$largeBytes" /dev/urandom >"$files/$large"
fi

# The stand-ins for the client's start program, the multiplayer client and
# the game, built next to the launcher, so that the launch at the end of a
# run starts something.
missing=()
for program in updater.exe ragemp_v.exe GTA5.exe; do
  if [ -f "$build/$program" ]; then
    cp "$build/$program" "$files/$program"
  else
    missing+=("$program")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "sample release: no stand-in ${missing[*]} in $build; the launch will find no client" >&2
fi

# The uninstaller that the uninstall entry names ships at the top of every release.
cp "$build/uninstall.exe" "$files/uninstall.exe"

"$publish" "$files" "$baseUrl" --output "$out/manifest.json" --delete "cũ/bản đồ cũ.map"
