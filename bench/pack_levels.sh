#!/usr/bin/env bash
# The level trade-off of tarvek-pack: for each Zstandard level, the time to
# pack a typical application, the launcher's size, and the time the
# launcher's own code takes to unpack it under Wine. And, with "checksum",
# what the frame's content checksum and the finishing of the frame after
# the end marker cost at extraction.
#
#   bench/pack_levels.sh [LEVEL...]       (default: 1 3 6 9 12 15 17 19)
#   bench/pack_levels.sh checksum [LEVEL] (default: tarvek-pack's level)
#
# SIZE_MB (default 300) sets the application's size. It is made from what a
# Debian machine with this project's set-up has: Wine's x86-64 PE libraries
# (45 %), Python's library sources (25 %), message catalogues (15 %) and
# the compressed documentation files (the rest), with examples/hello's
# main.dll. Run after ./tarvek build. Times are wall-clock seconds, best of
# RUNS (default 2); on a shared machine they are provisional.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TARVEK_BUILD_DIR:-$root/build}
pack=$build/host/pack/tarvek-pack
timer=$build/win/bench/pack_levels/pack_levels_timer.exe
hello=$build/win/examples/hello_app/main.dll
for f in "$pack" "$timer" "$hello"; do
  [ -f "$f" ] || { echo "pack_levels: missing $f: run ./tarvek build first" >&2; exit 1; }
done
size_mb=${SIZE_MB:-300}
runs=${RUNS:-2}

source "$root/tools/wine.sh"
start_wineserver
work=$(mktemp -d "$build/bench-pack-levels.XXXXXX")
trap 'rm -rf "$work"; stop_wineserver' EXIT

# Copies regular files from SOURCE (in sorted order, names Windows can hold)
# into DEST until BUDGET bytes are reached.
fill() {
  local source=$1 dest=$2 budget=$3
  mkdir -p "$dest"
  (cd "$source" && find . -type f -printf '%s\t%P\n' | LC_ALL=C sort -t $'\t' -k2 |
    awk -F '\t' -v budget="$budget" '
      $2 !~ /^[A-Za-z0-9._+\/-]+$/ { next }
      tolower($2) ~ /(^|\/)(con|prn|aux|nul|com[0-9]|lpt[0-9])(\.|\/|$)/ { next }
      seen[tolower($2)]++ { next }
      used + $1 <= budget { used += $1; print $2 }' |
    tar --no-recursion -cf - -T -) | tar -C "$dest" -xf -
}

make_app() {
  local app=$1 total=$(( size_mb * 1000000 ))
  mkdir -p "$app"
  cp "$hello" "$app/main.dll"
  fill /usr/lib/x86_64-linux-gnu/wine/x86_64-windows "$app/bin" $(( total * 45 / 100 ))
  fill /usr/lib/python3 "$app/lib" $(( total * 25 / 100 ))
  fill /usr/share/locale "$app/share/locale" $(( total * 15 / 100 ))
  fill /usr/share/doc "$app/share/doc" $(( total - $(du -sb "$app" | cut -f1) ))
}

best() { sort -n | head -n 1; }
field() { tr -d '\r' | sed -n "s/^$1 //p"; }

# pack OPTIONS...: packs the application into $exe and finds its payload
# (payload_layout.py): $range, its offset and size, for the timer.
pack() {
  "$pack" "$app" -o "$exe" -q "$@"
  range=$(python3 "$root/bench/common/payload_layout.py" --build "$build" "$exe" payload_offset payload_size)
}

# run_timer EXE MODE...: the timer over the payload of EXE, the launcher last packed.
run_timer() {
  local exe=$1; shift
  "$wine64" "$(windows_path "$timer")" "$(windows_path "$exe")" "${range% *}" "${range#* }" "$@"
}

extract_seconds() {
  local exe=$1 i out="$work/out"
  for i in $(seq "$runs"); do
    rm -rf "$out"
    run_timer "$exe" extract "$(windows_path "$out")" | field extract_seconds
  done | best
  rm -rf "$out"
}

decode_seconds() {
  local exe=$1 i
  for i in $(seq "$runs"); do
    run_timer "$exe" decode | tr -d '\r' | paste -sd' '
  done | sort -k2 -n | head -n 1
}

app="$work/app"
make_app "$app"
files=$(find "$app" -type f | wc -l)
input=$(du -sb "$app" | cut -f1)
echo "application: $files files, $(awk -v b="$input" 'BEGIN { printf "%.1f MB", b / 1e6 }'); $(nproc) processors; load $(cut -d' ' -f1-3 /proc/loadavg)"

if [ "${1:-}" = checksum ]; then
  shift
  level_options=()
  [ $# -gt 0 ] && level_options=(--level "$1")
  printf '%-22s %12s %12s %12s %14s\n' frame size_MB decode_s finish_ms extract_s
  for variant in checksum no-checksum; do
    options=("${level_options[@]}")
    [ "$variant" = no-checksum ] && options+=(--no-checksum)
    exe="$work/$variant.exe"
    pack "${options[@]}"
    read -r _ decode _ finish < <(decode_seconds "$exe")
    printf '%-22s %12.1f %12s %12.3f %14s\n' "$variant" "$(awk -v b="$(stat -c %s "$exe")" 'BEGIN { print b / 1e6 }')" \
      "$decode" "$(awk -v s="$finish" 'BEGIN { print s * 1000 }')" "$(extract_seconds "$exe")"
    rm -f "$exe"
  done
  exit 0
fi

[ $# -gt 0 ] || set -- 1 3 6 9 12 15 17 19
printf '%-6s %10s %10s %8s %12s %12s\n' level pack_s size_MB ratio decode_s extract_s
for level in "$@"; do
  exe="$work/level$level.exe"
  start=$(date +%s.%N)
  pack --level "$level"
  end=$(date +%s.%N)
  size=$(stat -c %s "$exe")
  read -r _ decode _ _ < <(decode_seconds "$exe")
  printf '%-6s %10.1f %10.1f %7.1f%% %12s %12s\n' "$level" "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')" \
    "$(awk -v b="$size" 'BEGIN { print b / 1e6 }')" "$(awk -v a="$size" -v b="$input" 'BEGIN { print 100 * a / b }')" \
    "$decode" "$(extract_seconds "$exe")"
  rm -f "$exe"
done
