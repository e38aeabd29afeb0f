#!/usr/bin/env bash
# Creates the private Wine prefix of a build folder and makes it safe to
# delete things in. Safe to run again: every step checks first.
#
#   tools/wine_prefix.sh BUILD_DIR
#
# A fresh prefix maps drive Z: to / and links the user folders (Desktop,
# Documents, ...) to the host's home folder. The tests run as root and
# delete trees; a deletion that walks into Z: or through one of those links
# deletes host files. So, on every run:
#   - no drive letter but C: and T: exists; C: is the prefix's own drive_c,
#     T: is BUILD_DIR and nothing else: the tests reach the build tree there;
#   - no link inside drive_c points anywhere: each becomes a plain folder;
#   - a crashing program ends at once instead of starting Wine's debugger,
#     which can hang a test run.
# The environment (WINEPREFIX, WINEDEBUG, WINEDLLOVERRIDES) is tools/wine.env's.
set -euo pipefail

build_dir=$(cd "${1:?usage: tools/wine_prefix.sh BUILD_DIR}" && pwd -P)
build=$build_dir
source "$(dirname "${BASH_SOURCE[0]}")/wine.sh"
prefix=$WINEPREFIX
say() { printf 'wine prefix: %s\n' "$*" >&2; }

create_prefix() {
  [ -f "$prefix/system.reg" ] && return 0
  say "creating $prefix (once)"
  mkdir -p "$prefix"
  "$wine64" wineboot --init >/dev/null 2>&1 || true
  "$wineserver" -w
}

# Drive letters: only c: (the prefix's drive_c) and t: (the build folder).
secure_drives() {
  local devices="$prefix/dosdevices" link name
  for link in "$devices"/?: "$devices"/?::; do
    [ -L "$link" ] || [ -e "$link" ] || continue
    name=$(basename "$link")
    case "$name" in
      c:) [ "$(readlink "$link")" = ../drive_c ] && continue ;;
      t:) [ "$(readlink "$link")" = "$build_dir" ] && continue ;;
    esac
    say "removing drive $name -> $(readlink "$link" || echo '?')"
    rm -f "$link"
  done
  [ -L "$devices/c:" ] || ln -s ../drive_c "$devices/c:"
  [ -L "$devices/t:" ] || ln -s "$build_dir" "$devices/t:"
}

# Links inside drive_c (the user folders point to the host's home) become
# empty plain folders; the link is removed, never what it points to.
secure_links() {
  local link
  while IFS= read -r -d '' link; do
    say "replacing link ${link#"$prefix"/} -> $(readlink "$link") by a plain folder"
    rm -f "$link"
    mkdir -p "$link"
  done < <(find "$prefix/drive_c" -type l -print0)
}

# No debugger for crashing programs. Without a Debugger value Wine starts
# "winedbg --auto" all the same, which writes a register dump into the
# program's output and can hang the run; a debugger that cannot be started
# makes a crashing program end at once with its exception code.
no_debugger='tarvek-no-crash-debugger.exe %ld %ld'
disable_debugger() {
  grep -q '^"Debugger"="tarvek-no-crash-debugger' "$prefix/system.reg" 2>/dev/null && return 0
  say "disabling the crash debugger"
  local key
  for key in 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
    'HKLM\Software\Wow6432Node\Microsoft\Windows NT\CurrentVersion\AeDebug'; do
    "$wine64" reg add "$key" /v Debugger /t REG_SZ /d "$no_debugger" /f </dev/null >/dev/null 2>&1 || true
  done
  "$wine64" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
    </dev/null >/dev/null 2>&1 || true
}

create_prefix
secure_drives
secure_links
disable_debugger
