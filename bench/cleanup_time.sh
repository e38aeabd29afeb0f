#!/usr/bin/env bash
# What removing a target directory costs under Wine: one deletion request of
# the shell's file operation (what the clean-up issued before) against one
# request of the launcher's own tree removal, and against a plain recursive
# walk that deletes by path without any check (what the bench's limit does),
# on trees of a given number of files and size.
#
#   bench/cleanup_time.sh [FILES,MEGABYTES...]   (default: 20,5 500,100 2000,300)
#
# Run after ./tarvek build (or with TARVEK_BUILD_DIR set as for it). The
# trees are made in the build folder (drive T: under Wine). Prints the load
# average before and after: figures taken while the machine is busy are
# provisional.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TARVEK_BUILD_DIR:-$root/build}
bench_exe=$build/win/bench/cleanup_time/cleanup_time_bench.exe
[ -f "$bench_exe" ] || { echo "cleanup_time: missing $bench_exe: run ./tarvek build first" >&2; exit 1; }
case "${1:-}" in -h|--help) sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;; esac
[ $# -gt 0 ] || set -- 20,5 500,100 2000,300
for size in "$@"; do
  [[ $size =~ ^[0-9]+,[0-9]+$ ]] || { echo "cleanup_time: sizes are FILES,MEGABYTES, not '$size'" >&2; exit 2; }
done

source "$root/tools/wine.sh"
work=$(mktemp -d "$build/bench-cleanup-time.XXXXXX")
trap 'rm -rf "$work"' EXIT
work_windows=$(windows_path "$work")

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-8s %-8s %14s %14s %14s\n' files MB shell_s tree_s plain_s
"$wine64" "$bench_exe" "$work_windows" "$@" | tr -d '\r' |
  while read -r files mb shell shell_left tree tree_left plain plain_left; do
    [ "$shell_left" = 0 ] || shell="$shell (left)"
    [ "$tree_left" = 0 ] || tree="$tree (left)"
    [ "$plain_left" = 0 ] || plain="$plain (left)"
    printf '%-8s %-8s %14s %14s %14s\n' "$files" "$mb" "$shell" "$tree" "$plain"
  done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
