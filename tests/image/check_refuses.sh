#!/usr/bin/env bash
# The image check must fail on IMAGE, and its output must hold every
# EXPECTED line (fixed strings), so that it fails for the right reasons.
#
#   check_refuses.sh IMAGE_CHECK IMAGE TABLE [--run-program PATH] EXPECTED...
set -uo pipefail
check=$1 image=$2 table=$3
shift 3
options=()
if [ "${1:-}" = --run-program ]; then
  options=(--run-program "$2")
  shift 2
fi
output=$("$check" "$image" --allowed-imports "$table" "${options[@]}")
status=$?
echo "$output"
[ "$status" -eq 1 ] || { echo "FAIL: the image check exited with $status, not 1" >&2; exit 1; }
for expected in "$@"; do
  grep -qF -- "$expected" <<<"$output" || { echo "FAIL: no '$expected' in the check's output" >&2; exit 1; }
done
