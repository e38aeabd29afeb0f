#!/usr/bin/env bash
# A console launcher is a windowed one with two header fields changed:
# linked from the same payload, settings and time stamp, the two images
# differ in the subsystem (2, 3) and the entry point (the windowed and the
# console start-up) and in no other byte; each passes the image check as
# what it is, and the console entry lies in .text like the windowed one.
#
#   console_link.sh LINK_TOOL PARTS STORED IMAGE_CHECK WORK_DIR
set -euo pipefail
link=$1 parts=$2 stored=$3 check=$4 work=$5
rm -rf "$work"
mkdir -p "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

link_as() { # OUTPUT [--console]
  SOURCE_DATE_EPOCH=1234567890 "$link" --parts "$parts" --payload "$stored" -o "$work/$1" --internal-name twin \
    "${@:2}"
}
link_as windowed.exe
link_as console.exe --console
for kind in windowed console; do
  flags=()
  [ "$kind" = windowed ] || flags=(--console)
  "$check" "$work/$kind.exe" "${flags[@]}" --allowed-imports "$parts/allowed_imports.txt" --payload "$stored" \
    --internal-name twin --timestamp 1234567890 >"$work/$kind.txt" || { cat "$work/$kind.txt"; fail "image check of $kind.exe"; }
done
# A windowed image is no console one.
"$check" "$work/windowed.exe" --console --allowed-imports "$parts/allowed_imports.txt" >"$work/refused.txt" &&
  fail "the check took a windowed launcher for a console one"
grep -q "FAIL: subsystem (Windows console)" "$work/refused.txt" || fail "no subsystem failure: $(cat "$work/refused.txt")"

# Offsets (from 1, as cmp counts) of the two fields in the optional header.
pe=$(od -An -tu4 -j60 -N4 "$work/windowed.exe" | tr -d ' ')
optional=$((pe + 4 + 20))
entry=$((optional + 16 + 1)) subsystem=$((optional + 68 + 1))
other=$({ cmp -l "$work/windowed.exe" "$work/console.exe" || true; } |
  awk -v e="$entry" -v s="$subsystem" '$1 < e || ($1 > e + 3 && $1 != s)')
[ -z "$other" ] || fail "the images differ beyond the subsystem and the entry point: $other"
[ "$(od -An -tu2 -j$((subsystem - 1)) -N2 "$work/console.exe" | tr -d ' ')" = 3 ] || fail "console subsystem"
[ "$(od -An -tu2 -j$((subsystem - 1)) -N2 "$work/windowed.exe" | tr -d ' ')" = 2 ] || fail "windowed subsystem"
cmp -s <(od -An -tu4 -j$((entry - 1)) -N4 "$work/windowed.exe") <(od -An -tu4 -j$((entry - 1)) -N4 "$work/console.exe") &&
  fail "the console launcher enters where the windowed one does"
echo "console_link: the console launcher differs from the windowed one in the subsystem and the entry point alone"
