#!/usr/bin/env bash
# What the launcher's decompression costs in memory, for a 1 MB and a 300 MB
# application, with the writer's default window (the smallest power of two
# that holds the stream) and with the window forced to 2^27.
#
#   bench/payload_memory.sh [SIZE_MB...]      (default: 1 300)
#
# Run after ./tarvek build (or with TARVEK_BUILD_DIR set as for it). Prints,
# per payload: the window; ZSTD_sizeof_DCtx after decoding, on the host and
# in the launcher's code under Wine; under Wine, the private memory that
# extraction commits (what counts against the commit limit on Windows) and
# the peak working set of the process, the payload's mapped pages included;
# the host decoder's peak resident set.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TARVEK_BUILD_DIR:-$root/build}
tool=$build/host/payload/tarvek-payload
bench_exe=$build/win/bench/payload_memory/payload_memory_bench.exe
for f in "$tool" "$bench_exe"; do
  [ -x "$f" ] || [ -f "$f" ] || { echo "payload_memory: missing $f: run ./tarvek build first" >&2; exit 1; }
done
[ $# -gt 0 ] || set -- 1 300
for mb in "$@"; do
  [[ $mb =~ ^[0-9]+$ && $mb -ge 1 ]] || { echo "payload_memory: sizes are whole megabytes, not '$mb'" >&2; exit 2; }
done

source "$root/tools/wine.sh"
work=$(mktemp -d "$build/bench-payload-memory.XXXXXX")
trap 'rm -rf "$work"' EXIT

c++ -O2 -o "$work/host_decode" "$root/bench/payload_memory/host_decode.cpp" $(pkg-config --cflags --libs libzstd)

# An application of SIZE MB (10^6 bytes): a 64 KiB main.dll and files of
# 8 MiB at most, half of each random, half a repeating text (about 2:1).
make_app() {
  local dir=$1 total=$(( $2 * 1000000 )) i=0
  mkdir -p "$dir/data"
  head -c 65536 /dev/urandom >"$dir/main.dll"
  local left=$(( total - 65536 ))
  while [ "$left" -gt 0 ]; do
    local n=$(( left < 8388608 ? left : 8388608 ))
    { head -c $(( n / 2 )) /dev/urandom; head -c $(( n - n / 2 )) < <(yes 'tarvek onefile payload'); } \
      >"$dir/data/part$i.bin"
    left=$(( left - n )); i=$(( i + 1 ))
  done
}

field() { sed -n "s/^$1 //p" "$2"; }
mib() { awk -v b="$1" 'BEGIN { printf "%.1f", b / 1048576 }'; }

printf '%-8s %-8s %10s %11s %11s %11s %11s %11s\n' input window stored_MiB host_dctx wine_dctx \
  commit_MiB peak_ws_MiB host_rss_MiB
for mb in "$@"; do
  make_app "$work/app$mb" "$mb"
  for window in default 27; do
    local_opts=()
    [ "$window" = default ] || local_opts=(--window-log "$window")
    stored="$work/app$mb-$window.stored"
    "$tool" --dir "$work/app$mb" "${local_opts[@]}" -o "$stored" --print-layout >"$stored.layout"
    "$work/host_decode" "$stored" >"$stored.host"
    rm -rf "$work/out"
    "$wine64" "$bench_exe" "$(windows_path "$stored")" "$(windows_path "$work")\\out" | tr -d '\r' >"$stored.wine"
    printf '%-8s %-8s %10s %11s %11s %11s %11s %11s\n' "${mb}MB" "2^$(field window_log "$stored.layout")" \
      "$(mib "$(stat -c %s "$stored")")" "$(field dctx_bytes "$stored.host")" "$(field dctx_bytes "$stored.wine")" \
      "$(mib $(( $(field extracted_committed_private "$stored.wine") - $(field before_committed_private "$stored.wine") )))" \
      "$(mib "$(field extracted_peak_working_set "$stored.wine")")" \
      "$(awk -v k="$(field max_rss_kib "$stored.host")" 'BEGIN { printf "%.1f", k / 1024 }')"
  done
  rm -rf "$work/app$mb" "$work/out"
done
