#!/usr/bin/env bash
# How long an interrupt during a large entry takes to end a launcher: from
# the Ctrl-C event to the target directory being gone, and to the launcher's
# end, while it writes one entry of SIZE_MIB (default 1536, 1.5 GiB; byte i
# is i mod 251, which stores in under a megabyte). Also how much of the
# entry had been written at the event and how much in the end: the writer
# stops at its next chunk of 32 KiB.
#
#   bench/interrupt_extraction.sh [RUNS]      (default 3)
#
# The runs are driven by the console driver of the clean-up tests
# (tests/cleanup/console_event_test.cpp), the one that judges such an
# interrupt there. PARTS=DIR links the launcher from other launcher parts
# (those of another build, to compare). Run after ./tarvek build.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TARVEK_BUILD_DIR:-$root/build}
payload_tool=$build/host/payload/tarvek-payload
link_tool=$build/host/image/tarvek-link-launcher
parts=${PARTS:-$build/win/launcher-parts}
driver=$build/win/tests/cleanup/CleanupTests.exe
for f in "$payload_tool" "$link_tool" "$driver" "$parts/link_settings.rsp"; do
  [ -f "$f" ] || { echo "interrupt_extraction: missing $f: run ./tarvek build first" >&2; exit 1; }
done
runs=${1:-3}
size_mib=${SIZE_MIB:-1536}
[[ $runs =~ ^[1-9][0-9]*$ && $size_mib =~ ^[1-9][0-9]*$ ]] ||
  { echo "usage: bench/interrupt_extraction.sh [RUNS]   (SIZE_MIB a whole number)" >&2; exit 2; }

source "$root/tools/wine.sh"
start_wineserver
work=$(mktemp -d "$build/bench-interrupt.XXXXXX")
trap 'rm -rf "$work"; stop_wineserver' EXIT

# main.dll is never loaded: the interrupt comes before any child starts.
head -c 65536 /dev/urandom >"$work/main.dll"
"$payload_tool" --name main.dll --file "$work/main.dll" --name large.bin --pattern $(( size_mib * 1048576 )) \
  --window-log 20 -o "$work/large.stored"
"$link_tool" --parts "$parts" --payload "$work/large.stored" -o "$work/large.exe"
cd "$work"

field() { sed -n "s/^$1=//p" "$work/run.txt"; }
mib() { awk -v b="$1" 'BEGIN { printf "%.1f", b / 1048576 }'; }
printf '%-4s %16s %16s %15s %17s\n' run MiB_at_event MiB_in_the_end folder_gone_ms launcher_ended_ms
for run in $(seq "$runs"); do
  rm -rf "${work:?}/temp" && mkdir "$work/temp"
  "$wine64" "$driver" --scenario console_driver "$(windows_path "$work/large.exe")" "" \
    "$(windows_path "$work/temp")" inside-entry "$(windows_path "$work/run.txt")"
  if grep -q '^error=' "$work/run.txt"; then
    echo "run $run: $(sed -n 's/^error=//p' "$work/run.txt" | tr '\n' ' ')"
    continue
  fi
  printf '%-4s %16s %16s %15s %17s\n' "$run" "$(mib "$(field entry_at_event)")" "$(mib "$(field entry_size)")" \
    "$(field folder_gone_ms)" "$(field parent_ms)"
  [ -z "$(field left)" ] || echo "run $run left its target directory"
done
