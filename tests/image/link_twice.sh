#!/usr/bin/env bash
# Two links of the same payload and settings with SOURCE_DATE_EPOCH set are
# byte-identical and carry that time stamp; another SOURCE_DATE_EPOCH
# changes the time stamp and nothing else.
#
#   link_twice.sh LINK_TOOL PARTS STORED IMAGE_CHECK WORK_DIR
set -euo pipefail
link=$1 parts=$2 stored=$3 check=$4 work=$5
rm -rf "$work"
mkdir -p "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

link_at() { # EPOCH OUTPUT
  SOURCE_DATE_EPOCH=$1 "$link" --parts "$parts" --payload "$stored" -o "$2" --internal-name twice \
    --company "Reproducible" --app-version 3.1.4.1
}
link_at 1234567890 "$work/first.exe"
sleep 1.1  # a link that took the current time would differ now
link_at 1234567890 "$work/second.exe"
cmp "$work/first.exe" "$work/second.exe" || fail "two links with SOURCE_DATE_EPOCH differ"
"$check" "$work/first.exe" --allowed-imports "$parts/allowed_imports.txt" --payload "$stored" \
  --internal-name twice --company Reproducible --app-version 3.1.4.1 --timestamp 1234567890 >"$work/check.txt" \
  || { cat "$work/check.txt"; fail "image check"; }

link_at 1234567891 "$work/third.exe"
differing=$({ cmp -l "$work/first.exe" "$work/third.exe" || true; } | wc -l)
[ "$differing" -eq 1 ] || fail "another SOURCE_DATE_EPOCH changed $differing bytes, not only the time stamp"

if SOURCE_DATE_EPOCH=yesterday "$link" --parts "$parts" --payload "$stored" -o "$work/bad.exe" 2>"$work/err.txt"; then
  fail "a SOURCE_DATE_EPOCH that is no number was accepted"
fi
grep -q "SOURCE_DATE_EPOCH" "$work/err.txt" || fail "no message about SOURCE_DATE_EPOCH: $(cat "$work/err.txt")"
[ ! -e "$work/bad.exe" ] || fail "a failed link left an output"
ls -A "$work" | grep -q '^\.tarvek-link' && fail "a work folder was left behind"
echo "link_twice: identical, time stamp 1234567890, only the stamp follows SOURCE_DATE_EPOCH"
