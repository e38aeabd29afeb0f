#!/usr/bin/env bash
# The image check of the adapter library that tarvek-pack --run linked into
# a launcher as its main.dll, taken out of the launcher.
#
#   check_run_adapter.sh TARVEK_PACK IMAGE_CHECK LAUNCHER ALLOWED_IMPORTS PROGRAM WORK_DIR
set -euo pipefail
pack=$1 check=$2 launcher=$3 allowed=$4 program=$5 work=$6
rm -rf "$work"
"$pack" --extract "$launcher" "$work" --quiet
"$check" "$work/main.dll" --allowed-imports "$allowed" --run-program "$program"
