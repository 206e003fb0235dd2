#!/usr/bin/env bash
# Native libFuzzer runs of the manifest parser, the state-file reader and the
# path rules.
#   run_fuzz.sh build OUT                         configure and build into OUT
#   run_fuzz.sh run OUT manifest|state|path SECS  fuzz one target for SECS seconds
# The corpus grows in OUT/corpus-<target> across runs on the same build
# folder; anything that crashes is saved as OUT/findings/<target>-crash-*.
# Both run at the lowest priority: in the test run they share the machine with
# tests that wait on the clock.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
command=${1:?build or run}
out=${2:?output folder}

case $command in
build)
  cmake -S "$here" -B "$out" -DCMAKE_CXX_COMPILER=clang++ >/dev/null
  nice -n 19 cmake --build "$out" -j1 -- --no-print-directory
  ;;
run)
  target=${3:?manifest, state or path}
  seconds=${4:?seconds}
  corpus="$out/corpus-$target"
  mkdir -p "$corpus" "$out/findings"
  args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
        -artifact_prefix="$out/findings/$target-")
  case $target in
    manifest) args+=(-max_len=16384 -dict="$here/manifest.dict") ;;
    state) args+=(-max_len=4096) ;;
    path) args+=(-max_len=512 -dict="$here/path.dict") ;;
    *) echo "unknown target $target" >&2; exit 2 ;;
  esac
  nice -n 19 "$out/fuzz_$target" "${args[@]}" "$corpus" "$here/seeds/$target"
  ;;
*)
  echo "unknown command $command" >&2
  exit 2
  ;;
esac
