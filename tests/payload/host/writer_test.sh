#!/usr/bin/env bash
# Tests of the payload writer, run natively:
#
#   writer_test.sh CASE TARVEK_PAYLOAD PAYLOAD_CHECK WORK_DIR
#
# CASE is round_trip, window or command_line. Every stored payload is read
# back by payload_check (an independent reader) and the zstd command.
set -euo pipefail

case_name=$1 tool=$2 check=$3 work=$4
rm -rf "$work"
mkdir -p "$work"
cd "$work"

fail() { echo "FAIL: $*" >&2; exit 1; }
expect_eq() { [ "$1" = "$2" ] || fail "$3: expected '$2', got '$1'"; }
field() { sed -n "s/^$1 //p" "$2"; }

# Decompresses a stored payload into NAME.stream, its header fields into NAME.fields.
read_back() {
  "$check" layout "$1.stored" "$1.frame" >"$1.fields"
  zstd -q -d -c "$1.frame" >"$1.stream"
}

round_trip() {
  mkdir -p app/a/b/c app/data app/'leer ordner'
  head -c 70000 /dev/urandom >app/main.dll
  head -c 300001 /dev/urandom >app/data/large.bin
  printf 'deep' >app/a/b/c/deep.txt
  : >app/empty.txt
  : >app/a/empty.bin
  printf '\xc3\xbc' >app/'Ünïcödé näme.txt'
  printf 'wide' >app/data/'日本語.txt'
  printf 'astral' >app/'😀.bin'
  printf 'fullwidth' >app/'Ａ.txt'

  "$tool" --dir app -o app.stored --stream-copy app.copy --print-layout >app.layout
  read_back app
  cmp app.stream app.copy || fail "--stream-copy differs from the decompressed frame"
  expect_eq "$(field content_size_flag app.fields)" 0 "frame content size flag"
  expect_eq "$(field single_segment app.fields)" 0 "single-segment flag"
  expect_eq "$(field checksum app.fields)" 0 "checksum flag"
  expect_eq "$(field dictionary_flag app.fields)" 0 "dictionary ID flag"
  expect_eq "$(field frame_size app.fields)" "$(field frame_size app.layout)" "frame size"
  local size; size=$(stat -c %s app.stream)
  expect_eq "$(field stream_size app.layout)" "$size" "stream size"
  expect_eq "$(field window_exponent app.fields)" 9 "window for a $size-byte stream (2^19)"

  "$check" unpack app.stream out >names
  # main.dll first, then UTF-16 order: U+1F600 (D83D DE00) before U+FF21.
  printf '%s\n' main.dll a/b/c/deep.txt a/empty.bin data/large.bin 'data/日本語.txt' empty.txt \
    'Ünïcödé näme.txt' '😀.bin' 'Ａ.txt' >expected_names
  diff expected_names names || fail "record order"
  diff -r app out >tree.diff || true
  expect_eq "$(cat tree.diff)" "Only in app: leer ordner" "unpacked tree (empty folders are not stored)"
}

window() {
  # The default window: the smallest power of two holding the whole stream.
  # A record "main.dll" costs 18 + 8 bytes and the end marker 2.
  "$tool" --name main.dll --pattern $((1048576 - 28)) -o exact.stored --print-layout >exact.layout
  "$tool" --name main.dll --pattern $((1048576 - 27)) -o over.stored
  "$tool" --name main.dll --text x -o tiny.stored
  "$tool" --name main.dll --pattern $((1048576 - 28)) --window-log 27 -o forced.stored
  "$tool" --level 1 --name main.dll --pattern $((134217728 - 27)) -o huge.stored --print-layout >huge.layout
  for p in exact over tiny forced huge; do read_back $p; done
  expect_eq "$(field stream_size exact.layout)" 1048576 "stream size"
  expect_eq "$(field window_log exact.layout)" 20 "reported window"
  expect_eq "$(field window_exponent exact.fields)" 10 "2^20 holds a stream of exactly 2^20 bytes"
  expect_eq "$(field window_exponent over.fields)" 11 "one byte more needs 2^21"
  expect_eq "$(field window_exponent tiny.fields)" 0 "at least 2^10"
  expect_eq "$(field window_exponent forced.fields)" 17 "--window-log 27"
  expect_eq "$(field window_exponent huge.fields)" 17 "at most 2^27 for a stream of 2^27 + 1 bytes"
  expect_eq "$(field stream_size huge.layout)" 134217729 "huge stream size"
  cmp exact.stream forced.stream || fail "the window changes the stream"
  for p in exact over tiny forced huge; do
    expect_eq "$(field window_mantissa $p.fields)" 0 "$p: a power of two"
  done
}

command_line() {
  "$tool" --help >help.txt || fail "--help exits 0"
  grep -q '^usage: tarvek-payload' help.txt || fail "--help shows the usage"
  expect_status() {
    local want=$1 pattern=$2; shift 2
    local status=0
    "$@" >out.txt 2>err.txt || status=$?
    expect_eq "$status" "$want" "exit status of: $*"
    grep -q -- "$pattern" err.txt || fail "'$pattern' not in: $(cat err.txt)"
  }
  mkdir -p empty_app clash_app/sub slash_app
  : >clash_app/main.dll; : >clash_app/sub/Read.me; : >clash_app/sub/READ.ME
  : >slash_app/main.dll; : >'slash_app/back\slash'
  expect_status 2 'no output' "$tool"
  expect_status 2 "unknown option --frobnicate" "$tool" --frobnicate -o x.stored
  expect_status 2 'the largest window the launcher accepts' "$tool" --window-log 28 --name a --text b -o x.stored
  expect_status 2 'must follow --name' "$tool" --text b -o x.stored
  expect_status 2 'has no content option' "$tool" --name a -o x.stored
  expect_status 2 'pairs of hex digits' "$tool" --name a --hex 0g -o x.stored
  expect_status 1 'the folder is empty' "$tool" --dir empty_app -o x.stored
  mkdir -p no_main_app; : >no_main_app/Main.dll
  expect_status 1 'no main.dll at its top level' "$tool" --dir no_main_app -o x.stored
  expect_status 1 'not a folder' "$tool" --dir no_such_app -o x.stored
  expect_status 1 'differ only in letter case' "$tool" --dir clash_app -o x.stored
  expect_status 1 "has '\\\\'" "$tool" --dir slash_app -o x.stored
  expect_status 1 "nothing to store" "$tool" -o x.stored
  expect_status 1 'cannot write' "$tool" --name a --text b -o no_such_dir/x.stored

  "$tool" --allow-empty -o empty.stored
  read_back empty
  expect_eq "$(od -An -tx1 empty.stream | tr -d ' ')" 0000 "a payload without records holds the end marker"

  # Damage for fixtures: the header fields an independent reader sees.
  "$tool" --name main.dll --text x --window-log 27 --patch-window 17,1 -o patched.stored
  "$check" layout patched.stored patched.frame >patched.fields
  expect_eq "$(field window_exponent patched.fields),$(field window_mantissa patched.fields)" 17,1 "patched window"
  "$tool" --name main.dll --text x --corrupt-checksum -o bad_sum.stored
  "$check" layout bad_sum.stored bad_sum.frame >bad_sum.fields
  expect_eq "$(field checksum bad_sum.fields)" 1 "checksum flag"
  if zstd -q -d -c bad_sum.frame >/dev/null 2>&1; then fail "a corrupted checksum decodes"; fi
  "$tool" --name main.dll --text x --bad-magic 2 -o magic.stored
  expect_eq "$(head -c 3 magic.stored)" JWx "third magic byte"
}

"$case_name"
echo "PASS: $case_name"
