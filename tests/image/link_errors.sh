#!/usr/bin/env bash
# tarvek-link-launcher refuses bad input with a message that names the
# problem, and leaves neither an output nor a work folder behind.
#
#   link_errors.sh LINK_TOOL PARTS STORED ICON_DIR WORK_DIR
set -euo pipefail
link=$1 parts=$2 stored=$3 icons=$4 work=$5
rm -rf "$work"
mkdir -p "$work"
failures=0

icon_options() { # SIZE... : --icon for each size, from ICON_DIR
  local size
  for size in "$@"; do printf -- '--icon\n%s\n' "$icons/icon-$size.png"; done
}

# refused EXPECTED_STATUS EXPECTED_TEXT ARGUMENTS...
refused() {
  local status_wanted=$1 text=$2 status=0
  shift 2
  "$link" "$@" >"$work/out.txt" 2>&1 || status=$?
  if [ "$status" -ne "$status_wanted" ] || ! grep -qF -- "$text" "$work/out.txt"; then
    echo "FAIL: $* -> exit $status, wanted $status_wanted with '$text':" >&2
    cat "$work/out.txt" >&2
    failures=$((failures + 1))
  fi
  if [ -e "$work/out.exe" ] || ls -A "$work" | grep -q '\.tarvek-link-'; then
    echo "FAIL: $* left an output or a work folder" >&2
    failures=$((failures + 1))
    rm -rf "$work/out.exe" "$work"/.*.tarvek-link-*
  fi
}

base=(--parts "$parts" --payload "$stored" -o "$work/out.exe")
refused 1 "is not one to four numbers" "${base[@]}" --app-version 1.2.3.4.5
refused 1 "is not one to four numbers" "${base[@]}" --app-version 1.2.-3.4
refused 1 "is not one to four numbers" "${base[@]}" --app-version 1.2.
refused 1 "at most 65535" "${base[@]}" --app-version 1.2.3.65536
refused 2 "the application's version is --app-version 1.2.3.4" "${base[@]}" --version 1.2.3.4
refused 1 "description must not be empty" "${base[@]}" --description ""
refused 1 "company must not be empty" "${base[@]}" --company ""
refused 1 "holds a control character" "${base[@]}" --product $'two\nlines'
refused 1 "not valid UTF-8" "${base[@]}" --company $'\xff\xfe'
refused 1 "longer than 256" "${base[@]}" --product "$(printf 'x%.0s' {1..257})"
refused 1 "is not a file name" "${base[@]}" --internal-name 'a/b'
refused 1 "is not a file name" "${base[@]}" --internal-name 'trailing.'
refused 1 "not 6" "${base[@]}" $(icon_options 16 24 32 48 64 128)
refused 1 "its place needs 24x24" "${base[@]}" $(icon_options 16 16 32 48 64 128 256)
printf 'GIF89a, not a PNG image, long enough to be read' >"$work/not.png"
refused 1 "is not a PNG image" "${base[@]}" $(icon_options 16 24 32 48 64 128) --icon "$work/not.png"
refused 1 "no stored payload" --parts "$parts" --payload "$work/missing.stored" -o "$work/out.exe"
refused 1 "incomplete" --parts "$work" --payload "$stored" -o "$work/out.exe"
refused 1 "cannot make a work folder" --parts "$parts" --payload "$stored" -o "$work/no/such/folder/out.exe"
refused 1 "time stamp 'soon'" "${base[@]}" --timestamp soon
refused 2 "are required" --parts "$parts" -o "$work/out.exe"
refused 2 "unknown option --colour" "${base[@]}" --colour red

# A good link after all that: the tool still works from the same folder.
"$link" "${base[@]}" --internal-name good >/dev/null
[ -s "$work/out.exe" ] || { echo "FAIL: the good link wrote nothing" >&2; failures=$((failures + 1)); }
[ "$failures" -eq 0 ] && echo "link_errors: every bad input refused, nothing left behind"
[ "$failures" -eq 0 ]
