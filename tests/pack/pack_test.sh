#!/usr/bin/env bash
# Tests of tarvek-pack, run natively; the launchers it makes run under Wine.
#
#   pack_test.sh CASE TARVEK_PACK WORK_DIR BUILD_ROOT HELLO_APP PACK_BIN NO_ENTRY_DLL PROGRAM
#
# CASE is bad_inputs, conventions, round_trip, run_program, inspection,
# settings, hello, damaged, signed, installed or sdk. WORK_DIR is made
# afresh below the build folder, which Windows programs see as drive T:.
# PROGRAM is an ordinary 64-bit program, the probe (tests/probe), which
# reports what it was given and does what TARVEK_PROBE_ACTIONS asks.
set -euo pipefail

case_name=$1 pack=$2 work=$3 build_root=$4 hello_app=$5 pack_bin=$6 no_entry_dll=$7 program=$8
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
icons=$here/icons
rm -rf "$work"
mkdir -p "$work"
cd "$work"

# The Wine environment, wine64 and windows_path.
build=$build_root
source "$here/../../tools/wine.sh"

fail() { echo "FAIL: $*" >&2; exit 1; }
expect_eq() { [ "$1" = "$2" ] || fail "$3: expected '$2', got '$1'"; }
contains() { grep -qF -- "$2" <<<"$1" || fail "$3: '$2' not in: $1"; }
# layout LAUNCHER: tarvek-pack --layout's "key value" lines into
# LAUNCHER.layout; field KEY LAUNCHER: one value of them.
layout() { "$pack" --layout "$1" >"$1.layout" || fail "--layout of $1"; }
field() { sed -n "s/^$1 //p" "$2.layout"; }
# Inverts the byte at OFFSET of FILE.
flip_byte() {
  local value
  value=$(od -An -tu1 -j"$2" -N1 "$1" | tr -d ' ')
  printf "\\x$(printf %02x $((value ^ 0xFF)))" | dd of="$1" bs=1 seek="$2" conv=notrunc 2>/dev/null
}
# stopped_with_work_folder PID PREFIX: waits until the pack PID has made
# its work folder PREFIX..., then stops it (SIGSTOP). A failing test ends
# the packs it stopped.
stopped_packs=()
trap 'for p in "${stopped_packs[@]}"; do kill -KILL "$p" 2>/dev/null || true; done' EXIT
stopped_with_work_folder() {
  local tries=0
  until compgen -G "$2*" >/dev/null; do
    kill -0 "$1" 2>/dev/null || fail "pack $1 ended before it made its work folder"
    tries=$((tries + 1))
    [ "$tries" -lt 600 ] || fail "pack $1 made no work folder $2..."
    sleep 0.05
  done
  stopped_packs+=("$1")
  kill -STOP "$1"
}
# new_program FOLDER: a folder that holds the probe program as bin/probe.exe.
new_program() {
  rm -rf "$1"
  mkdir -p "$1/bin"
  cp "$program" "$1/bin/probe.exe"
}
new_app() {
  rm -rf "$1"
  mkdir -p "$1"
  cp "$hello_app/main.dll" "$1/main.dll"
}
# Runs a launcher under Wine; sets run_out and run_status.
run_launcher() {
  local exe=$1; shift
  run_status=0
  run_out=$("$wine64" "$(windows_path "$exe")" "$@" 2>/dev/null </dev/null | tr -d '\r') || run_status=$?
}

bad_inputs() {
  mkdir -p out
  local covered=0
  # refuse PATTERN TARVEK_PACK_ARGUMENTS... : exit 1, one line on standard
  # error holding PATTERN, nothing written beside the output.
  refuse() {
    local pattern=$1; shift
    local status=0
    "${runner[@]}" "$pack" "$@" -o out/app.exe >stdout.txt 2>stderr.txt || status=$?
    expect_eq "$status" 1 "exit status for '$pattern'"
    expect_eq "$(wc -l <stderr.txt)" 1 "lines on standard error for '$pattern': $(cat stderr.txt)"
    contains "$(cat stderr.txt)" "$pattern" "refusal"
    expect_eq "$(ls -A out)" "" "left in the output folder after '$pattern'"
    covered=$((covered + 1))
  }
  runner=()

  # The main library.
  mkdir -p no_main; printf x >no_main/readme.txt
  refuse "no_main: no main.dll at its top level" no_main
  mkdir -p empty
  refuse "empty: the folder is empty" empty
  refuse "missing: not a folder" missing
  new_app text; printf 'not a library\n' >text/main.dll
  refuse "text/main.dll: not a Windows library" text
  new_app machine
  local pe; pe=$(od -An -tu4 -j60 -N4 machine/main.dll | tr -d ' ')
  printf '\x4c\x01' | dd of=machine/main.dll bs=1 seek=$((pe + 4)) conv=notrunc 2>/dev/null
  refuse "machine/main.dll: built for machine 0x014C, not x86-64" machine
  new_app program
  local flags; flags=$(od -An -tu2 -j$((pe + 22)) -N2 program/main.dll | tr -d ' ')
  flags=$((flags & ~0x2000))
  printf "\\x$(printf %02x $((flags & 0xFF)))\\x$(printf %02x $((flags >> 8)))" |
    dd of=program/main.dll bs=1 seek=$((pe + 22)) conv=notrunc 2>/dev/null
  refuse "program/main.dll: a program, not a library" program
  new_app pe32; printf '\x0b\x01' | dd of=pe32/main.dll bs=1 seek=$((pe + 24)) conv=notrunc 2>/dev/null
  refuse "pe32/main.dll: not a PE32+ (64-bit) image" pe32
  new_app no_exports; cp "$pack_bin/libraries/no_exports/main.dll" no_exports/main.dll
  refuse "no_exports/main.dll: exports nothing" no_exports
  new_app other; cp "$no_entry_dll" other/main.dll
  refuse "other/main.dll: does not export run_code" other
  new_app mangled; cp "$pack_bin/libraries/mangled/main.dll" mangled/main.dll
  refuse "declare it extern \"C\"" mangled

  # Files and links.
  new_app links_out; ln -s /etc links_out/etc
  refuse "links_out/etc: a symbolic link leading out of links_out (to /etc)" links_out
  new_app dangling; ln -s "$work/nowhere" dangling/gone
  refuse "dangling/gone: a symbolic link to nothing" dangling
  new_app loop; mkdir loop/sub; ln -s .. loop/sub/up
  refuse "loop/sub/up: a symbolic link to a folder that holds it" loop
  new_app fifo; mkfifo fifo/pipe
  refuse "fifo/pipe: neither a file nor a folder" fifo
  # Root reads everything: the unreadable cases run as nobody.
  new_app unreadable; printf secret >unreadable/secret.txt; chmod 000 unreadable/secret.txt
  new_app unlistable; mkdir unlistable/closed; printf x >unlistable/closed/x.txt; chmod 000 unlistable/closed
  chmod 777 out
  runner=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  refuse "unreadable/secret.txt: cannot be read: Permission denied" unreadable
  refuse "unlistable/closed: cannot be listed" unlistable
  runner=()

  # Names Windows cannot hold.
  local c
  for c in '<' '>' ':' '"' '|' '?' '*'; do
    new_app reserved; printf x >"reserved/a${c}b.txt"
    refuse "reserved/a${c}b.txt: the name 'a${c}b.txt' has '${c}'" reserved
  done
  new_app control; printf x >"control/bell$(printf '\a').txt"
  refuse "has control character U+0007" control
  new_app dot; mkdir dot/folder.; printf x >dot/folder./x.txt
  refuse "dot/folder.: the name 'folder.' ends in a dot" dot
  new_app space; printf x >'space/x.txt '
  refuse "the name 'x.txt ' ends in a space" space
  local device
  for device in CON nul.txt Aux.tar.gz prn COM1 lpt9.log 'COM¹.dat' 'aux/inside.txt'; do
    new_app devices; mkdir -p "devices/$(dirname "$device")"; printf x >"devices/$device"
    refuse "is a device name on Windows" devices
  done
  new_app utf8; printf x >"utf8/bad$(printf '\xff').txt"
  refuse "utf8/bad\\xFF.txt: the name is not valid UTF-8" utf8
  new_app long
  local path=long i
  for i in $(seq 1 5); do path="$path/$(printf 'd%.0s' $(seq 1 200))"; done
  mkdir -p "$path"; printf x >"$path/$(printf 'f%.0s' $(seq 1 20))"
  refuse "its name has 1025 UTF-16 units, more than the 1023" long
  new_app clash; printf a >clash/Read.me; printf b >clash/READ.ME
  refuse "differ only in letter case: on Windows one would overwrite the other" clash
  new_app clash_folder; printf a >clash_folder/data; mkdir clash_folder/DATA; printf b >clash_folder/DATA/x
  refuse "differ only in letter case" clash_folder

  # Settings and icons.
  new_app fine
  local version
  for version in 1.2.3.65536 a.b.c.d 1.2.3.4.5 1..2.3 1.2. ' 1.2.3.4' -1.2.3.4; do
    refuse "version '$version'" fine --app-version="$version"
  done
  printf 'not a picture' >icon.png
  refuse "icon.png: not a PNG image" fine --icon icon.png
  cp "$icons/wide.png" wide.png
  refuse "wide.png: 64x32 pixels; icon images must be square" fine --icon wide.png
  cp "$icons/square-48.png" a.png; cp "$icons/square-48.png" b.png
  refuse "b.png: a second icon of 48 pixels" fine --icon a.png --icon b.png

  # Packing an ordinary program with --run.
  new_program own_main; cp "$hello_app/main.dll" own_main/main.dll
  refuse "own_main/main.dll: the launcher's main.dll, which --run supplies" own_main --run bin/probe.exe
  new_program own_main_case; printf x >own_main_case/Main.DLL
  refuse "own_main_case/Main.DLL: the launcher's main.dll" own_main_case --run bin/probe.exe
  new_program own_main_folder; mkdir own_main_folder/main.dll; printf x >own_main_folder/main.dll/x
  refuse "own_main_folder/main.dll: the launcher's main.dll" own_main_folder --run bin/probe.exe
  new_program runs
  refuse "--run 'bin/missing.exe': no such file in the application folder runs" runs --run bin/missing.exe
  refuse "--run 'bin': no such file in the application folder runs" runs --run bin
  refuse "--run '../runs/bin/probe.exe': leads out of the application folder runs" runs --run ../runs/bin/probe.exe
  refuse "--run 'bin/../../x.exe': leads out of the application folder runs" runs --run bin/../../x.exe
  refuse "--run '$work/runs/bin/probe.exe': give the program's path relative to the application folder" \
    runs --run "$work/runs/bin/probe.exe"
  ln -s /bin/true runs/outside.exe
  refuse "runs/outside.exe: a symbolic link leading out of runs" runs --run outside.exe
  rm runs/outside.exe
  printf 'not a program\n' >runs/notes.exe
  refuse "runs/notes.exe: not a Windows program (no PE header); --run starts a 64-bit Windows program" \
    runs --run notes.exe
  cp "$hello_app/main.dll" runs/library.exe
  refuse "runs/library.exe: a library (DLL), not a program" runs --run library.exe
  cp "$program" runs/x86.exe
  local program_pe; program_pe=$(od -An -tu4 -j60 -N4 runs/x86.exe | tr -d ' ')
  printf '\x4c\x01' | dd of=runs/x86.exe bs=1 seek=$((program_pe + 4)) conv=notrunc 2>/dev/null
  refuse "runs/x86.exe: built for machine 0x014C, not x86-64 (0x8664): a 32-bit program" runs --run x86.exe
  cp "$program" runs/native.exe
  printf '\x01\x00' | dd of=runs/native.exe bs=1 seek=$((program_pe + 4 + 20 + 68)) conv=notrunc 2>/dev/null
  refuse "runs/native.exe: built for subsystem 1, not a windowed (2) or console (3) program" runs --run native.exe
  rm runs/notes.exe runs/library.exe runs/x86.exe runs/native.exe
  # Backslashes name the same file, the program is checked wherever it is.
  printf 'not a program\n' >runs/bin/notes.exe
  refuse "runs/bin/notes.exe: not a Windows program" runs --run 'bin\notes.exe'

  # Where the launcher goes.
  local status=0
  "$pack" fine -o fine/inside.exe >stdout.txt 2>stderr.txt || status=$?
  expect_eq "$status" 1 "output inside the application"
  contains "$(cat stderr.txt)" "inside the application folder" "output inside the application"
  [ ! -e fine/inside.exe ] || fail "a launcher was written inside the application"
  covered=$((covered + 1))
  mkdir -p out/taken.exe; status=0
  "$pack" fine -o out/taken.exe >stdout.txt 2>stderr.txt || status=$?
  expect_eq "$status" 1 "output that is a folder"
  contains "$(cat stderr.txt)" "out/taken.exe: is a folder" "output that is a folder"
  rmdir out/taken.exe
  covered=$((covered + 1))

  # Command lines not understood: exit 2.
  local args
  for args in "" "fine" "-o out/x.exe" "fine -o out/x.exe --level 20" "fine -o out/x.exe --window-log 28" \
    "fine -o out/x.exe --frobnicate" "--list a.exe --verify a.exe" "fine -o out/x.exe --list a.exe" \
    "--layout a.exe --list a.exe" "fine --layout a.exe"; do
    status=0
    # shellcheck disable=SC2086
    "$pack" $args >stdout.txt 2>stderr.txt || status=$?
    expect_eq "$status" 2 "exit status of: tarvek-pack $args"
    contains "$(cat stderr.txt)" "tarvek-pack --help lists the options" "usage error of: $args"
  done
  expect_eq "$(ls -A out)" "" "left in the output folder"

  # A long name packs, with a warning that --quiet keeps back.
  new_app deep; mkdir -p "deep/$(printf 'w%.0s' $(seq 1 180))"; printf x >"deep/$(printf 'w%.0s' $(seq 1 180))/file.txt"
  "$pack" deep -o out/deep.exe >stdout.txt 2>stderr.txt
  contains "$(cat stderr.txt)" "warning: deep/www" "long-path warning"
  contains "$(cat stderr.txt)" "units, 17 more than the 259 Windows handles where long paths are not enabled" \
    "long-path warning"
  "$pack" deep -o out/deep.exe --quiet >stdout.txt 2>stderr.txt
  expect_eq "$(cat stdout.txt stderr.txt)" "" "output of --quiet"
  echo "bad inputs covered: $covered"
}

conventions() {
  new_app app
  local status form
  # run EXPECTED_STATUS ARGUMENTS...: tarvek-pack's output in out.txt, err.txt.
  run() {
    local wanted=$1; shift
    status=0
    "$pack" "$@" >out.txt 2>err.txt || status=$?
    expect_eq "$status" "$wanted" "exit status of: tarvek-pack $*: $(cat err.txt)"
  }
  # --version anywhere: the tool's own version, one line, exit 0; the same
  # for the link tool, from one definition.
  local version; version=$(cat "$here/../../VERSION")
  run 0 --version
  expect_eq "$(cat out.txt)" "tarvek-pack $version" "--version"
  run 0 app -o x.exe --version
  expect_eq "$(cat out.txt)" "tarvek-pack $version" "--version among packing options"
  expect_eq "$("$(dirname "$pack")/../image/tarvek-link-launcher" --version)" "tarvek-link-launcher $version" \
    "the link tool's --version"
  [ ! -e x.exe ] || fail "--version packed"
  # The old form: the application's version given to --version.
  for form in "app -o x.exe --version 1.2.3.4" "app -o x.exe --version=1.2.3.4"; do
    # shellcheck disable=SC2086
    run 2 $form
    contains "$(cat err.txt)" "--version takes no value: it prints the tool's own version; the application's version is --app-version 1.2.3.4" \
      "the old --version form"
  done
  [ ! -e x.exe ] || fail "the old --version form packed"
  # A mistyped option names the closest real one, wherever it stands and
  # whatever follows it.
  for form in "app -o x.exe --levle 3" "--levle 3 app -o x.exe" "app --levle 3 -o x.exe"; do
    # shellcheck disable=SC2086
    run 2 $form
    contains "$(head -n 1 err.txt)" "unknown option --levle (the closest is --level)" "a mistyped option in: $form"
  done
  run 2 app --app-verison 1.6 -o x.exe
  contains "$(cat err.txt)" "unknown option --app-verison (the closest is --app-version)" "--app-verison"
  run 2 app -o x.exe --consle
  contains "$(cat err.txt)" "unknown option --consle (the closest is --console)" "--consle"
  # Every bound is the one passed, with its reason.
  run 2 app -o x.exe --window-log 9
  contains "$(cat err.txt)" "--window-log: wants at least 10, Zstandard's smallest window (1 KiB), not '9'" \
    "--window-log 9"
  run 2 app -o x.exe --window-log 28
  contains "$(cat err.txt)" "wants at most 27, the largest window the launcher accepts (128 MiB), not '28'" \
    "--window-log 28"
  run 2 app -o x.exe --level 0
  contains "$(cat err.txt)" "--level: wants at least 1, not '0'" "--level 0"
  run 2 app -o x.exe --level 20
  contains "$(cat err.txt)" "--level: wants at most 19, Zstandard's levels 20 to 22" "--level 20"
  run 2 app -o x.exe --threads 257
  contains "$(cat err.txt)" "--threads: wants at most 256, Zstandard's most compression workers" "--threads 257"
  run 2 app -o x.exe --threads many
  contains "$(cat err.txt)" "--threads: wants a number from 1 to 256, not 'many'" "--threads many"
  # The bounds themselves are taken.
  run 0 app -o x.exe --window-log 10 --level 1 --threads 1 --quiet
  run 0 app -o x.exe --window-log 27 --level 19 --threads 256 --quiet
  # --help tells the options.
  run 0 --help
  local option
  for option in "--run PROGRAM.exe" "--console" "--app-version A[.B[.C[.D]]]" "--description TEXT" "--version"; do
    contains "$(cat out.txt)" "$option" "--help"
  done
  # A tool of the link that is not installed is named with its Debian
  # package, as a user of an installed tarvek-pack needs it.
  local tool package
  for tool in llvm-rc:llvm lld-link:lld; do
    package=${tool#*:} tool=${tool%%:*}
    rm -rf tools_bin; mkdir tools_bin
    # Only the other tool on the PATH.
    ln -s "$(command -v lld-link)" tools_bin/lld-link
    ln -s "$(command -v llvm-rc)" tools_bin/llvm-rc
    rm "tools_bin/$tool"
    status=0
    PATH=$work/tools_bin "$pack" app -o y.exe --quiet >out.txt 2>err.txt || status=$?
    expect_eq "$status" 1 "exit status without $tool"
    contains "$(cat err.txt)" \
      "cannot run $tool: No such file or directory; it comes with Debian's package $package (apt-get install $package)" \
      "without $tool"
  done
  [ ! -e y.exe ] || fail "a pack without its tools wrote a launcher"
  expect_eq "$(ls -A | grep -c tarvek-pack || true)" 0 "work folders left by the failed packs"
}

round_trip() {
  new_app app
  mkdir -p app/data/nested app/'Ünïcödé näme' app/empty_folder
  printf 'greeting\n' >app/data/greeting.txt
  : >app/data/empty.bin
  head -c 300000 /dev/urandom >app/data/nested/random.bin
  printf 'wide' >'app/Ünïcödé näme/日本語.txt'
  printf 'astral' >app/'😀.bin'

  # Two packs, with different numbers of threads, into launchers of the
  # same name.
  mkdir -p again
  SOURCE_DATE_EPOCH=1700000000 "$pack" app -o first.exe --threads 1 >first.txt
  contains "$(cat first.txt)" "packed 6 files" "summary line"
  SOURCE_DATE_EPOCH=1700000000 "$pack" app -o again/first.exe --threads 2 --quiet
  cmp first.exe again/first.exe || fail "two packs of the same folder differ"

  # Listed: main.dll first, then the others in order, with their sizes.
  "$pack" --list first.exe >list.txt
  local expected
  expected=$(
    printf '%s  %s\n' "$(stat -c %s app/main.dll)" main.dll
    printf '%s  %s\n' 0 'data\empty.bin' 9 'data\greeting.txt' 300000 'data\nested\random.bin' \
      4 'Ünïcödé näme\日本語.txt' 6 '😀.bin'
  )
  expect_eq "$(head -n -3 list.txt | sed 's/^ *//')" "$expected" "listing"
  contains "$(tail -n 3 list.txt | head -n 1)" "6 files" "listing summary"
  contains "$(tail -n 3 list.txt | head -n 1)" "content checksum" "listing summary"
  expect_eq "$(tail -n 2 list.txt)" "mode: main library
subsystem: windowed" "the launcher's mode and subsystem"

  # Extracted: the same files (the empty folder is not stored).
  "$pack" --extract first.exe out >/dev/null
  diff -r app out >tree.diff || true
  expect_eq "$(cat tree.diff)" "Only in app: empty_folder" "extracted tree"

  "$pack" --verify first.exe >verify.txt || fail "--verify of a fresh launcher"
  contains "$(cat verify.txt)" "payload whole: 6 files" "verify line"

  # One byte of the payload inverted: --verify fails, wherever it is.
  local base at
  layout first.exe
  base=$(field payload_offset first.exe)
  for at in $((base + 1)) $((base + 3 + 8)) $((base + 100000)) $((base + 250000)); do
    cp first.exe damaged.exe
    flip_byte damaged.exe "$at"
    local status=0
    "$pack" --verify damaged.exe >out.txt 2>err.txt || status=$?
    expect_eq "$status" 1 "--verify with byte $((at - base)) of the payload inverted"
    contains "$(cat err.txt)" "damaged.exe: " "verify failure line"
  done

  # Without a checksum the frame says so, and --verify tells.
  "$pack" app -o plain.exe --no-checksum --quiet
  "$pack" --verify plain.exe >verify.txt
  contains "$(cat verify.txt)" "no content checksum" "verify of --no-checksum"
  layout plain.exe
  expect_eq "$(field checksum plain.exe)" 0 "checksum flag of --no-checksum"
  expect_eq "$(field checksum first.exe)" 1 "checksum flag by default"
  expect_eq "$(ls -A | grep -c tarvek-pack || true)" 0 "work folders left beside the outputs"

  # Interrupted while it compresses: no launcher, no work folder. (Should
  # the pack be done before the signal, it must be whole.)
  mkdir -p slow
  new_app slow/app
  head -c 16000000 /dev/urandom >slow/app/random.bin
  "$pack" slow/app -o slow/app.exe --threads 1 --quiet 2>slow/err.txt &
  local pid=$! status=0
  sleep 1
  kill -INT "$pid" 2>/dev/null || true
  wait "$pid" || status=$?
  if [ "$status" -eq 0 ]; then
    "$pack" --verify slow/app.exe >/dev/null || fail "a pack that ended before its interrupt is not whole"
  else
    expect_eq "$status" 130 "exit status of an interrupted pack"
    contains "$(cat slow/err.txt)" "interrupted; nothing was written" "interrupted pack"
    expect_eq "$(ls -A slow)" "app
err.txt" "left beside an interrupted pack"
  fi

  # Killed (kill -9) while it works, a pack leaves its work folder; the next
  # pack beside it removes that, but keeps the folder of a pack still
  # running (stopped here, so that it is surely running), which then
  # finishes whole and takes its folder away.
  mkdir -p killed
  "$pack" slow/app -o killed/gone.exe --threads 1 --quiet &
  local gone=$!
  stopped_with_work_folder "$gone" killed/.gone.exe.tarvek-pack-
  kill -KILL "$gone"
  wait "$gone" || true
  expect_eq "$(ls -A killed | grep -c tarvek-pack || true)" 1 "work folders after a killed pack"
  "$pack" slow/app -o killed/running.exe --threads 1 --quiet &
  local running=$!
  stopped_with_work_folder "$running" killed/.running.exe.tarvek-pack-
  local running_folder; running_folder=$(cd killed && echo .running.exe.tarvek-pack-*)
  expect_eq "$(ls -A killed)" "$running_folder" "beside the next pack, at work"
  "$pack" app -o killed/next.exe --quiet
  expect_eq "$(ls -A killed | grep tarvek-pack || true)" "$running_folder" "work folders after a pack beside a running one"
  kill -CONT "$running"
  wait "$running" || fail "the pack that ran through the next one failed"
  "$pack" --verify killed/running.exe >/dev/null || fail "the pack that ran through the next one is not whole"
  expect_eq "$(ls -A killed)" "next.exe
running.exe" "left beside the packs"
}

# A program packed with --run: reproducible, listed, extracted, checked and
# run; windowed and console.
run_program() {
  new_program app
  mkdir -p app/data
  printf 'beside the program\n' >app/data/note.txt
  # main.dll is linked with the launcher's time stamp: two packs are one.
  SOURCE_DATE_EPOCH=1700000000 "$pack" app -o runs.exe --run bin/probe.exe --threads 1 >first.txt
  contains "$(cat first.txt)" "packed 3 files" "summary line"
  mkdir -p again
  SOURCE_DATE_EPOCH=1700000000 "$pack" app -o again/runs.exe --run 'bin\probe.exe' --threads 2 --quiet
  cmp runs.exe again/runs.exe || fail "two packs of the same program differ"

  # Listed: the packer's main.dll first, then the folder; what it runs.
  "$pack" --list runs.exe >list.txt
  local expected
  expected=$(printf 'main.dll\nbin\\probe.exe\ndata\\note.txt\nmode: runs bin\\probe.exe\nsubsystem: windowed')
  expect_eq "$(sed -n '1,3s/^ *[0-9]*  //p;5,$p' list.txt)" "$expected" "listing"
  "$pack" --verify runs.exe >verify.txt || fail "--verify of a --run launcher"
  layout runs.exe
  expect_eq "$(field subsystem runs.exe)" 2 "--layout's subsystem"
  check_image runs.exe --company runs --product runs --app-version 0.0.0.0 --timestamp 1700000000

  # Extracted: the folder as it was, and the adapter library, which names
  # the program and carries the launcher's time stamp.
  "$pack" --extract runs.exe out --quiet
  diff -r app out >tree.diff || true
  expect_eq "$(cat tree.diff)" "Only in out: main.dll" "extracted tree"
  "$IMAGE_CHECK" out/main.dll --allowed-imports "$ADAPTER_ALLOWED_IMPORTS" --run-program 'bin\probe.exe' \
    --timestamp 1700000000 >check.txt || fail "image check of main.dll: $(grep FAIL check.txt | head -n 5)"

  # The same as a console program.
  "$pack" app -o console.exe --run bin/probe.exe --console --quiet
  "$pack" --list console.exe >list.txt
  expect_eq "$(tail -n 2 list.txt)" "mode: runs bin\probe.exe
subsystem: console" "the console launcher's mode and subsystem"
  layout console.exe
  expect_eq "$(field subsystem console.exe)" 3 "--layout's subsystem of a console launcher"
  check_image console.exe --console --company console --product console --app-version 0.0.0.0

  # A payload whose adapter library names a program it does not hold.
  status=0; "$pack" --verify "$pack_bin/../e2e/run_missing_launcher.exe" 2>err.txt || status=$?
  expect_eq "$status" 1 "--verify of a launcher whose program is missing"
  contains "$(cat err.txt)" "main.dll runs 'bin dir\mïssing 😀.exe', which the payload does not hold" "refusal"

  # Run under Wine, both kinds: the arguments and the exit code arrive.
  local launcher
  for launcher in runs.exe console.exe; do
    TARVEK_PROBE_ACTIONS='exit:7' run_launcher "$launcher" 'an argument' 'two words'
    expect_eq "$run_status" 7 "exit code of $launcher"
    contains "$run_out" "argv.1=an argument" "$launcher's program output"
    contains "$run_out" "argv.2=two words" "$launcher's program output"
    contains "$run_out" "\\bin\\probe.exe" "$launcher's program path"
  done
}

inspection() {
  new_app app
  "$pack" app -o app.exe --quiet
  mkdir -p full; printf x >full/x
  local status=0
  "$pack" --extract app.exe full >/dev/null 2>err.txt || status=$?
  expect_eq "$status" 1 "--extract into a folder that is not empty"
  contains "$(cat err.txt)" "full: not empty" "refusal"
  printf x >file
  status=0; "$pack" --extract app.exe file 2>err.txt || status=$?
  expect_eq "$status" 1 "--extract onto a file"

  # Not launchers.
  printf 'text\n' >text.exe
  status=0; "$pack" --list text.exe 2>err.txt || status=$?
  expect_eq "$status" 1 "--list of a text file"
  contains "$(cat err.txt)" "text.exe: not an executable image" "refusal"
  status=0; "$pack" --verify "$hello_app/main.dll" 2>err.txt || status=$?
  expect_eq "$status" 1 "--verify of a library"
  contains "$(cat err.txt)" "not a Tarvek Onefile launcher" "refusal"

  # --layout, checked against the bytes it points at.
  layout app.exe
  local offset length frame_end
  offset=$(field payload_offset app.exe)
  length=$(field length_field app.exe)
  expect_eq "$(field rdata_offset app.exe)" "$offset" "the payload starts .rdata"
  expect_eq "$((offset % 4096))" 0 "the payload's file offset on a page boundary"
  expect_eq "$(dd if=app.exe bs=1 skip="$offset" count=3 2>/dev/null)" JWX "the magic at payload_offset"
  expect_eq "$(od -An -tx1 -j$((offset + $(field frame_offset app.exe))) -N4 app.exe | tr -d ' ')" 28b52ffd \
    "the Zstandard frame at frame_offset"
  frame_end=$(($(field frame_offset app.exe) + $(field frame_size app.exe)))
  expect_eq "$((frame_end + $(field padding app.exe)))" "$length" "the padding ends at the length field"
  expect_eq "$(od -An -tu8 -j$((offset + length)) -N8 app.exe | tr -d ' ')" "$length" "the length field's value"
  expect_eq "$(field payload_size app.exe)" $((length + 8)) "the stored length"
  expect_eq "$(field checksum app.exe)" 1 "the checksum flag"
  expect_eq "$(field entries app.exe)" 1 "entries"
  expect_eq "$(field content_size app.exe)" "$(stat -c %s app/main.dll)" "content size"
  expect_eq "$(field stream_size app.exe)" $(($(stat -c %s app/main.dll) + 18 + 8 + 2)) "stream size"
  expect_eq "$((1 << $(field window_log app.exe)))" "$(field window_size app.exe)" "window size"
  local stream; stream=$(field stream_size app.exe)
  [ "$(field window_size app.exe)" -ge "$stream" ] && [ $(($(field window_size app.exe) / 2)) -lt "$stream" ] ||
    fail "the window is not the smallest power of two that holds the stream"

  # Damaged launchers: exit 1, one line on standard error, nothing on
  # standard output.
  cp app.exe block.exe; flip_byte block.exe $((offset + frame_end / 2))
  cp app.exe length.exe; flip_byte length.exe $((offset + length + 1))
  cp app.exe padding.exe; flip_byte padding.exe $((offset + frame_end))
  head -c $((offset + frame_end / 2)) app.exe >cut.exe
  local damaged
  for damaged in block: length:"the payload's length field says" \
    padding:"the payload's padding after the frame is not zero" cut:"its .rdata section runs past the end" \
    text:"not an executable image"; do
    [ "${damaged%%:*}" != padding ] || [ "$(field padding app.exe)" -gt 0 ] ||
      damaged="padding:the payload's length field says"
    status=0; "$pack" --layout "${damaged%%:*}.exe" >out.txt 2>err.txt || status=$?
    expect_eq "$status" 1 "--layout of a damaged launcher (${damaged%%:*})"
    expect_eq "$(wc -l <err.txt)" 1 "lines on standard error for --layout (${damaged%%:*}): $(cat err.txt)"
    contains "$(cat err.txt)" "${damaged%%:*}.exe: ${damaged#*:}" "--layout (${damaged%%:*})"
    expect_eq "$(cat out.txt)" "" "standard output of --layout of a damaged launcher (${damaged%%:*})"
  done

  # A payload whose stream goes on after an end marker.
  status=0; "$pack" --verify "$pack_bin/early_end_launcher.exe" 2>err.txt || status=$?
  expect_eq "$status" 1 "--verify of a stream that goes on after its end marker"
  contains "$(cat err.txt)" "the stream goes on after the end marker" "refusal"

  # A name that would leave the folder: nothing is written.
  status=0; "$pack" --extract "$pack_bin/escape_launcher.exe" escape 2>err.txt || status=$?
  expect_eq "$status" 1 "--extract of a name with .."
  contains "$(cat err.txt)" "its component '..' is '.' or '..'" "refusal"
  [ ! -e escape ] && [ ! -e evil.txt ] || fail "--extract wrote something for a refused name"

  # --help on every form.
  local form
  for form in "--help" "app -o x.exe --help" "--list app.exe --help" "--extract app.exe d --help" \
    "--verify app.exe --help" "--layout app.exe --help"; do
    # shellcheck disable=SC2086
    "$pack" $form >help.txt || fail "tarvek-pack $form"
    contains "$(head -n 1 help.txt)" "usage: tarvek-pack APP_DIR -o OUT.exe" "help of: $form"
  done
}

# The image check of the launcher's resources and compiled-in texts:
# check_image LAUNCHER SETTINGS...
check_image() {
  local launcher=$1; shift
  "$IMAGE_CHECK" "$launcher" --allowed-imports "$ALLOWED_IMPORTS" "$@" >check.txt 2>&1 ||
    fail "image check of $launcher: $(grep FAIL check.txt | head -n 5)"
}

settings() {
  new_app app
  "$pack" app -o Settings.exe --company 'Ünïcorn "Ltd"' --product 'Hello Prodüct 😀' --app-version 1.2.65535.4 \
    --internal-name hello-internal --description 'Hello, described 😀' --quiet
  check_image Settings.exe --company 'Ünïcorn "Ltd"' --product 'Hello Prodüct 😀' --app-version 1.2.65535.4 \
    --internal-name hello-internal --description 'Hello, described 😀'
  # A version of fewer numbers is padded with zeros.
  "$pack" app -o short_version.exe --app-version 1.6 --quiet
  check_image short_version.exe --company short_version --product short_version --app-version 1.6.0.0
  # Defaults: product, company and internal name from the output's name,
  # version 0.0.0.0.
  "$pack" app -o 'My Tool.EXE' --quiet
  check_image 'My Tool.EXE' --company 'My Tool' --product 'My Tool' --app-version 0.0.0.0 --internal-name 'My Tool'
  # One large icon: every size scaled from it; seven given: taken as they are.
  "$pack" app -o one_icon.exe --icon "$icons/large-300.png" --quiet
  check_image one_icon.exe --company one_icon --product one_icon --app-version 0.0.0.0
  "$pack" app -o two_icons.exe --icon "$icons/square-48.png" --icon "$icons/large-300.png" >out.txt 2>err.txt
  expect_eq "$(cat err.txt)" "" "warnings with an icon large enough for every size"
}

hello() {
  "$pack" "$hello_app" -o hello.exe --product 'Hello' --app-version 1.0 --quiet
  run_launcher hello.exe 'first argument' second
  expect_eq "$run_status" 0 "exit code of hello.exe"
  contains "$run_out" "Hello from a Tarvek Onefile application." "hello output"
  contains "$run_out" "  argument 1: first argument" "hello output"
  contains "$run_out" "  argument 2: second" "hello output"
  contains "$run_out" "data\\greeting.txt says: Greetings from a data file" "hello output"
}

damaged() {
  # An end marker before the last record: the parent stops before the child.
  run_launcher "$pack_bin/early_end_launcher.exe" x
  expect_eq "$run_status" 2 "exit code of a launcher whose stream goes on after the end marker"
  expect_eq "$run_out" "Error, couldn't decode attached data." "its output"

  # One byte inverted in the middle of a packed launcher's payload.
  "$pack" "$hello_app" -o hello.exe --quiet
  local base
  layout hello.exe
  base=$(field payload_offset hello.exe)
  cp hello.exe damaged.exe
  flip_byte damaged.exe $((base + 3 + 12000))
  run_launcher damaged.exe x
  expect_eq "$run_status" 2 "exit code of a damaged launcher"
  expect_eq "$run_out" "Error, couldn't decode attached data." "its output"
}

signed() {
  "$pack" "$hello_app" -o hello.exe --product Hello --quiet
  openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
    -subj '/CN=Tarvek Onefile test signer' 2>/dev/null
  osslsigncode sign -certs cert.pem -key key.pem -n Hello -h sha256 -in hello.exe -out signed.exe >sign.txt 2>&1 ||
    fail "signing: $(cat sign.txt)"
  osslsigncode verify -CAfile cert.pem -in signed.exe >verify.txt 2>&1 || fail "signature: $(cat verify.txt)"
  contains "$(cat verify.txt)" "Signature verification: ok" "signature"
  "$pack" --verify signed.exe >/dev/null || fail "--verify of the signed launcher"
  run_launcher signed.exe signed
  expect_eq "$run_status" 0 "exit code of the signed launcher"
  contains "$run_out" "  argument 1: signed" "signed launcher output"
}

installed() {
  # Installed under a prefix, run from elsewhere, with nothing pointing at
  # the build folder.
  bash "$here/../../tools/install.sh" "$build_root" "$work/prefix" >/dev/null
  cp -R "$hello_app" app
  (cd / && env -u TARVEK_LAUNCHER_PARTS "$work/prefix/bin/tarvek-pack" "$work/app" -o "$work/hello.exe" --quiet) ||
    fail "the installed tarvek-pack"
  check_image hello.exe --company hello --product hello --app-version 0.0.0.0
  # What --run needs is installed too: an ordinary program packs and runs.
  new_program program_app
  (cd / && env -u TARVEK_LAUNCHER_PARTS "$work/prefix/bin/tarvek-pack" "$work/program_app" -o "$work/runs.exe" \
    --run bin/probe.exe --console --quiet) || fail "the installed tarvek-pack --run"
  check_image runs.exe --console --company runs --product runs --app-version 0.0.0.0
  TARVEK_PROBE_ACTIONS='exit:5' run_launcher runs.exe installed
  expect_eq "$run_status" 5 "exit code of the installed --run launcher"
  contains "$run_out" "argv.1=installed" "the installed --run launcher's program output"
  # A second install replaces the first whole.
  bash "$here/../../tools/install.sh" "$build_root" "$work/prefix" >/dev/null
  expect_eq "$(ls -A prefix/lib/tarvek-onefile)" launcher-parts "the installed library folder"
}

# The SDK from an installed prefix: examples/sdk (a copy, which the case
# then changes) configured with the installed package and toolchain, built,
# run, and built again after each change of what the launcher is made of.
sdk() {
  bash "$here/../../tools/install.sh" "$build_root" "$work/prefix" >/dev/null
  cp -R "$here/../../examples/sdk" source
  # cmake_step LOG ARGS...: cmake with nothing pointing at the build folder's
  # launcher parts; fails the case with LOG's end.
  cmake_step() {
    local log=$1; shift
    env -u TARVEK_LAUNCHER_PARTS cmake "$@" >"$log" 2>&1 || fail "cmake $*: $(tail -n 20 "$log")"
  }
  cmake_step configure.txt -S source -B greeter -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" \
    -DCMAKE_TOOLCHAIN_FILE="$work/prefix/lib/cmake/TarvekOnefile/mingw-clang.cmake"
  cmake_step build.txt --build greeter
  # libgreeter.dll as main.dll, data/'s files beside it.
  "$pack" --list greeter/greeter.exe >list.txt
  expect_eq "$(head -n -3 list.txt | sed 's/^ *//')" "$(stat -c %s greeter/libgreeter.dll)  main.dll
5  greeting.txt
17  texts\farewell.txt" "the launcher's entries"
  expect_eq "$(tail -n 2 list.txt)" "mode: main library
subsystem: console" "the launcher's mode and subsystem"
  # The options: the version resource's fields, a console launcher.
  local resource=(--company 'Tarvek Onefile Examples' --app-version 1.2.0.0
    --description 'Greets each name it is given' --console)
  check_image greeter/greeter.exe "${resource[@]}" --product 'Tarvek Greeter'

  # Run from the root of drive T: (the build folder), where the launcher's
  # folder is "T:", without a backslash.
  local at_root=$build_root/pack-sdk-greeter.exe
  cp greeter/greeter.exe "$at_root"
  run_launcher "$at_root" Ada 'Grace Hopper'
  rm -f "$at_root"
  expect_eq "$run_status" 0 "exit code of greeter.exe"
  expect_eq "$run_out" "Hello, Ada!
Hello, Grace Hopper!
Goodbye for now.
main library: main.dll
started as: T:\\pack-sdk-greeter.exe
from the folder: T:" "greeter.exe's output"
  run_launcher greeter/greeter.exe
  expect_eq "$run_status" 2 "exit code of greeter.exe without a name"
  expect_eq "$run_out" "" "output of greeter.exe without a name"

  # Nothing changed: nothing to do.
  cmake_step again.txt --build greeter
  contains "$(cat again.txt)" "no work to do" "a build with nothing changed"
  # A changed data file, a new one, a removed one, a changed option: each
  # packs again.
  extracted() {
    rm -rf extracted
    "$pack" --extract greeter/greeter.exe extracted >/dev/null || fail "--extract of greeter.exe"
  }
  printf 'Howdy' >source/data/greeting.txt
  cmake_step changed.txt --build greeter
  extracted
  expect_eq "$(cat extracted/greeting.txt)" Howdy "the changed data file"
  printf 'new' >source/data/texts/new.txt
  cmake_step added.txt --build greeter
  extracted
  expect_eq "$(cat extracted/texts/new.txt)" new "the added data file"
  rm source/data/texts/farewell.txt
  cmake_step removed.txt --build greeter
  extracted
  [ ! -e extracted/texts/farewell.txt ] || fail "a removed data file is still packed"
  # A ';' and quotes in a value stay in its one argument.
  sed -i 's/PRODUCT "Tarvek Greeter"/PRODUCT "Grüße; \\"Renamed\\""/' source/CMakeLists.txt
  cmake_step option.txt --build greeter
  check_image greeter/greeter.exe "${resource[@]}" --product 'Grüße; "Renamed"'
  cmp greeter/libgreeter.dll extracted/main.dll || fail "main.dll is not the built library"

  # Refusals at configure time: a project not cross-compiled for x86-64
  # Windows; a main library that is no DLL, a DIRECTORY holding main.dll.
  mkdir -p host refusals/data
  # (Its package version first: the project's, as tarvek-pack tells it.)
  printf '%s\n' 'cmake_minimum_required(VERSION 3.25)' 'project(host NONE)' \
    'find_package(TarvekOnefile CONFIG REQUIRED)' 'message(STATUS "TarvekOnefile ${TarvekOnefile_VERSION}")' \
    'tarvek_add_onefile(app MAIN_LIBRARY library)' >host/CMakeLists.txt
  local status=0
  env -u TARVEK_LAUNCHER_PARTS cmake -S host -B host/build -DCMAKE_PREFIX_PATH="$work/prefix" >host.txt 2>&1 ||
    status=$?
  expect_eq "$status" 1 "configure of a project for the host"
  contains "$(cat host.txt)" "-- TarvekOnefile $("$pack" --version | sed 's/^tarvek-pack //')" "the package's version"
  # CMake wraps its messages: compared with the lines joined.
  joined() { tr -s ' \n' ' ' <"$1"; }
  contains "$(joined host.txt)" "tarvek_add_onefile(app): the project must be cross-compiled for x86-64 Windows, not for 'Linux'" \
    "refusal of a host project"
  # (Imported libraries, so that no compiler need be found.)
  printf x >refusals/data/Main.dll
  printf '%s\n' 'cmake_minimum_required(VERSION 3.25)' 'project(refusals NONE)' \
    'find_package(TarvekOnefile CONFIG REQUIRED)' 'add_library(archive STATIC IMPORTED)' \
    'add_library(code SHARED IMPORTED)' 'tarvek_add_onefile(static MAIN_LIBRARY archive)' \
    'tarvek_add_onefile(clash MAIN_LIBRARY code DIRECTORY data)' >refusals/CMakeLists.txt
  status=0
  env -u TARVEK_LAUNCHER_PARTS cmake -S refusals -B refusals/build -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" \
    -DCMAKE_TOOLCHAIN_FILE="$work/prefix/lib/cmake/TarvekOnefile/mingw-clang.cmake" >refusals.txt 2>&1 || status=$?
  expect_eq "$status" 1 "configure with refused calls"
  contains "$(joined refusals.txt)" "tarvek_add_onefile(static): MAIN_LIBRARY archive is a STATIC_LIBRARY" \
    "refusal of a static library"
  contains "$(joined refusals.txt)" "tarvek_add_onefile(clash): DIRECTORY $work/refusals/data holds Main.dll" \
    "refusal of a DIRECTORY holding main.dll"
}

"$case_name"
echo "PASS: $case_name"
