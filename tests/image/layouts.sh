#!/usr/bin/env bash
# The start-up probe linked with 0 to 7 times 512 bytes of extra code, so
# that .text ends at every multiple of 512 within a page: each image passes
# the image check, and among them .rdata was moved to its page both by
# padding .text within its last page and by growing the headers.
#
#   layouts.sh IMAGE_CHECK TABLE STORED IMAGE...
set -euo pipefail
check=$1 table=$2 stored=$3
shift 3
padded_text=0 grown_headers=0
for image in "$@"; do
  "$check" "$image" --allowed-imports "$table" --payload "$stored" >"$image.check" \
    || { cat "$image.check"; echo "FAIL: image check of $image" >&2; exit 1; }
  fields=$(llvm-readobj --file-headers --sections "$image")
  headers=$(sed -n 's/^ *SizeOfHeaders: //p' <<<"$fields")
  text_virtual=$(( $(grep -A2 'Name: .text ' <<<"$fields" | sed -n 's/^ *VirtualSize: //p') ))
  text_raw=$(grep -A4 'Name: .text ' <<<"$fields" | sed -n 's/^ *RawDataSize: //p')
  [ "$headers" -gt 1024 ] && grown_headers=$((grown_headers + 1))
  [ "$text_raw" -gt $(( (text_virtual + 511) / 512 * 512 )) ] && padded_text=$((padded_text + 1))
done
echo "layouts: $# images checked; .text padded in $padded_text, headers grown in $grown_headers"
[ "$padded_text" -gt 0 ] && [ "$grown_headers" -gt 0 ] || { echo "FAIL: not both ways of padding seen" >&2; exit 1; }
