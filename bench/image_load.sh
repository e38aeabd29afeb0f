#!/usr/bin/env bash
# Load time of a launcher under Wine against the size of its payload, with
# .rdata where the linker puts it ("before": 512-byte file alignment only)
# and at a file offset that is a multiple of 4096 ("after", every launcher's
# layout), for a 1 MB and a 300 MB application.
#
#   bench/image_load.sh [--runs N] [--isa]
#
# Run after ./tarvek build (or with TARVEK_BUILD_DIR set as for it). The
# launchers carry bench/image_load/load_probe.cpp, which logs when each
# process reached the image's entry and how long the parent's CreateProcessW
# took, and an application whose main library logs the child's memory.
# Prints the file offset of .rdata and the median of N runs (default 5) of:
#
#   start_ms     from starting wine64 on the launcher to its image's entry
#                (the start-up calls launcher_main within microseconds):
#                Wine's own process start plus loading the image
#   child_ms     from the parent's call of CreateProcessW to the child's entry
#   create_ms    the parent's CreateProcessW for the child
#   extract_ms   the parent's entry to that call: set-up and extraction
#   private_MiB  the child's private memory while the application runs (under
#                Wine its resident anonymous memory and swap)
#   ws_MiB       the child's working set then
#
# When the linker's own layout happens to put .rdata on a page boundary, the
# "before" launchers get 512 bytes of unused code (image_load/filler.s) so
# that it is not.
#
# --isa also builds the launcher parts with -DTARVEK_LAUNCHER_ISA=extended
# (in BUILD/isa-extended) and prints the 300 MB "after" figures of both
# instruction sets, run in turns.
#
# KEEP_WORK=1 keeps the work folder (BUILD/bench-image-load.*) for a look.
# The machine is shared: take the figures as provisional when others work.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TARVEK_BUILD_DIR:-$root/build}
runs=5 isa=no
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    --isa) isa=yes; shift ;;
    -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) echo "image_load: unknown argument '$1'" >&2; exit 2 ;;
  esac
done
[[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "image_load: --runs takes a positive number" >&2; exit 2; }

link=$build/host/image/tarvek-link-launcher
writer=$build/host/payload/tarvek-payload
parts=$build/win/launcher-parts
probe_objects=$build/win/bench/image_load/CMakeFiles/image_load_probe.dir
app_library=$build/win/bench/image_load/app/main.dll
for f in "$link" "$writer" "$parts/link_settings.rsp" "$app_library"; do
  [ -e "$f" ] || { echo "image_load: missing $f: run ./tarvek build first" >&2; exit 1; }
done
probe_object=$(find "$probe_objects" -name 'load_probe.cpp.obj' | head -n 1)
filler_object=$(find "$build/win/bench/image_load/CMakeFiles/image_load_filler.dir" -name 'filler.s.obj' | head -n 1)

source "$root/tools/wine.sh"
start_wineserver

work=$(mktemp -d "$build/bench-image-load.XXXXXX")
trap '[ -n "${KEEP_WORK:-}" ] || rm -rf "$work"; stop_wineserver' EXIT

# An application of SIZE MB (10^6 bytes) in FILES files, each 60 % random and
# 40 % a repeated text, so that it stores at about 0.6 of its size.
make_app() {
  mkdir -p "$1/data"
  cp "$app_library" "$1/main.dll"
  python3 - "$1/data" "$2" "$3" <<'PYTHON'
import os, sys
folder, total, files = sys.argv[1], int(sys.argv[2]) * 1000000, int(sys.argv[3])
each = total // files
random_part = each * 6 // 10
text = b"tarvek onefile payload\n" * (each // 23 + 1)
for i in range(files):
    with open(os.path.join(folder, f"f{i // 100}_{i}.bin"), "wb") as out:
        out.write(os.urandom(random_part) + text[: each - random_part])
PYTHON
}

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR == 0) print "-"; else print v[int((NR + 1) / 2)] }'; }
mib() { awk '{ printf "%.1f\n", $1 / 1048576 }'; }
rdata_offset() { python3 "$root/bench/common/payload_layout.py" --build "$build" "$1" rdata_offset; }

# 100-nanosecond ticks since 1601 (Windows' system time), now.
windows_ticks() { echo $(( $(date +%s%N) / 100 + 116444736000000000 )); }
# Milliseconds between two tick counts, to a tenth.
ms_between() { local t=$(( ($2 - $1) / 1000 )); echo "$(( t / 10 )).$(( t % 10 ))"; }

# Runs LAUNCHER once and adds its figures to the rows of NAME.
run_once() {
  local name=$1 launcher=$2 log=$work/run.log started
  : >"$log"
  started=$(windows_ticks)
  TARVEK_BENCH_LOG=$(windows_path "$log") "$wine64" "$launcher" >/dev/null 2>&1 </dev/null \
    || echo "image_load: $name: the launcher exited with $?" >&2
  # The parent created a process; the child ran the application.
  local parent child parent_entry child_entry create_start create_end private ws
  read -r parent create_start create_end < <(awk '$1 == "create_process" { print $2, $3, $4 }' "$log") || true
  read -r child private ws < <(awk '$1 == "child" { print $2, $3, $4 }' "$log") || true
  parent_entry=$(awk -v p="$parent" '$1 == "entry" && $2 == p { print $3 }' "$log")
  child_entry=$(awk -v c="$child" '$1 == "entry" && $2 == c { print $3 }' "$log")
  [ -n "$parent_entry" ] && [ -n "$child_entry" ] && [ -n "$create_start" ] \
    || { echo "image_load: $name: incomplete log: $(tr '\n' ' ' <"$log")" >&2; exit 1; }
  echo "$(ms_between "$started" "$parent_entry") $(ms_between "$create_start" "$child_entry")" \
    "$(ms_between "$create_start" "$create_end") $(ms_between "$parent_entry" "$create_start") $private $ws" \
    >>"$work/$name.rows"
}

# Prints the median figures of NAME's rows in one row.
report() {
  local name=$1 launcher=$2 rows=$work/$1.rows
  printf '%-16s %9s %9s %9s %9s %10s %11s %10s\n' "$name" "$(rdata_offset "$launcher")" \
    "$(cut -d' ' -f1 "$rows" | median)" "$(cut -d' ' -f2 "$rows" | median)" "$(cut -d' ' -f3 "$rows" | median)" \
    "$(cut -d' ' -f4 "$rows" | median)" "$(cut -d' ' -f5 "$rows" | median | mib)" "$(cut -d' ' -f6 "$rows" | median | mib)"
}

# Runs LAUNCHER N times and prints its median figures in one row.
measure() {
  local r
  for (( r = 0; r < runs; r++ )); do run_once "$1" "$2"; done
  report "$1" "$2"
}

link_launcher() { # PARTS STORED OUTPUT [OPTIONS...]
  "$link" --parts "$1" --payload "$2" -o "$3" --linker-arg "$probe_object" --linker-arg /entry:bench_image_entry \
    "${@:4}"
}

# The linker's layout, with .rdata off a page boundary.
link_before() { # STORED OUTPUT
  link_launcher "$parts" "$1" "$2" --keep-linker-layout
  if [ $(( $(rdata_offset "$2") % 4096 )) -eq 0 ]; then
    link_launcher "$parts" "$1" "$2" --keep-linker-layout --linker-arg "$filler_object"
  fi
}

header() {
  printf '%-16s %9s %9s %9s %9s %10s %11s %10s\n' launcher rdata_at start_ms child_ms create_ms extract_ms \
    private_MiB ws_MiB
}

echo "image_load: making the applications" >&2
make_app "$work/app1" 1 10
make_app "$work/app300" 300 2000
for mb in 1 300; do
  "$writer" --dir "$work/app$mb" -o "$work/app$mb.stored"
  echo "image_load: ${mb} MB application, $(stat -c %s "$work/app$mb.stored" | mib) MiB stored" >&2
  link_before "$work/app$mb.stored" "$work/before_$mb.exe"
  link_launcher "$parts" "$work/app$mb.stored" "$work/after_$mb.exe"
done
rm -rf "$work/app300"

header
for mb in 1 300; do
  for layout in before after; do
    measure "${mb}MB $layout" "$work/${layout}_$mb.exe"
  done
done

if [ "$isa" = yes ]; then
  isa_build=$build/isa-extended
  echo "image_load: building the launcher parts with the extended instruction set in $isa_build" >&2
  cmake -S "$root" -B "$isa_build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-clang.cmake" \
    -DTARVEK_LAUNCHER_ISA=extended >/dev/null
  cmake --build "$isa_build" --target tarvek_launcher_parts image_load_probe >/dev/null
  isa_probe=$(find "$isa_build/bench/image_load/CMakeFiles/image_load_probe.dir" -name 'load_probe.cpp.obj' | head -n 1)
  "$link" --parts "$isa_build/launcher-parts" --payload "$work/app300.stored" -o "$work/extended_300.exe" \
    --linker-arg "$isa_probe" --linker-arg /entry:bench_image_entry
  # Taken in turns, so that both see the same load.
  for (( r = 0; r < runs; r++ )); do
    run_once "300MB baseline" "$work/after_300.exe"
    run_once "300MB extended" "$work/extended_300.exe"
  done
  echo
  header
  report "300MB baseline" "$work/after_300.exe"
  report "300MB extended" "$work/extended_300.exe"
fi
