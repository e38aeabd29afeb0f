#!/usr/bin/env bash
# Installs and prepares everything the build needs, on a Debian 12 machine,
# as root. Safe to run again: each step checks first and skips what is done.
#
#   tools/setup.sh BUILD_DIR [--bench]
#
# --bench also installs what only ./tarvek bench needs (the NSIS peer and the
# plotting library); ./tarvek test never asks for it. Leaves the Zstandard
# and jq sources in BUILD_DIR/deps/ and prints nothing when all is already
# in place.
set -euo pipefail

build_dir=${1:?usage: tools/setup.sh BUILD_DIR [--bench]}
with_bench=no
[ "${2:-}" = --bench ] && with_bench=yes
deps_dir="$build_dir/deps"

packages=(
  clang lld llvm                     # compiler, linker, llvm-rc/objdump
  mingw-w64-x86-64-dev               # Windows headers, import libraries, CRT
  g++-mingw-w64-x86-64-posix         # libgcc (stack probes), libstdc++ for tests
  wine64                             # runs the Windows binaries
  cmake ninja-build
  libzstd-dev zstd                   # host-side writer, round-trip tests
  libcli11-dev                       # command lines of the host tools
  libutfcpp-dev                      # UTF-8 and UTF-16 text of the host tools
  libpng-dev libpixman-1-dev         # tarvek-pack: icon images read, scaled, written
  osslsigncode openssl               # the signing test of packed launchers
  googletest
  dpkg-dev                           # apt-get source unpacks with it
  python3                            # drives the reliability campaigns
  strace                             # the launcher under a tracer
)
bench_packages=(
  nsis                               # the peer: a silent NSIS self-extractor
  python3 python3-matplotlib         # bench/startup/bench.py and its plot
)
[ "$with_bench" = yes ] && packages+=("${bench_packages[@]}")

say() { printf 'setup: %s\n' "$*" >&2; }

missing_packages() {
  local p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' \
      || printf '%s\n' "$p"
  done
}

apt_updated=no
apt_update() {
  if [ "$apt_updated" = no ]; then
    say "apt-get update"
    apt-get update -qq -o DPkg::Lock::Timeout=600 >/dev/null
    apt_updated=yes
  fi
}

install_packages() {
  local missing
  missing=$(missing_packages)
  [ -z "$missing" ] && return 0
  say "installing:" $missing
  apt_update
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -o DPkg::Lock::Timeout=600 --no-install-recommends $missing >/dev/null
}

# The URI and suite of the machine's main Debian suite, read from its own apt
# sources (deb822 files or one-line lists), as "URI SUITE SIGNED_BY".
main_suite_source() {
  local codename
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v want="$codename" '
      function flush() {
        if (types ~ /(^| )deb( |$)/ && (" " suites " ") ~ (" " want " ") && comps ~ /main/)
          print uri, want, (signed == "" ? "-" : signed)
        types = suites = comps = uri = signed = ""
      }
      /^[ \t]*$/ { flush(); next }
      /^Types:/      { sub(/^Types:[ \t]*/, "");      types = $0 }
      /^URIs:/       { sub(/^URIs:[ \t]*/, "");       uri = $1 }
      /^Suites:/     { sub(/^Suites:[ \t]*/, "");     suites = $0 }
      /^Components:/ { sub(/^Components:[ \t]*/, ""); comps = $0 }
      /^Signed-By:/  { sub(/^Signed-By:[ \t]*/, "");  signed = $1 }
      END { flush() }' "$f"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk -v want="$codename" '
      $1 == "deb" {
        i = 2; if ($2 ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
        if ($(i + 1) == want) print $i, want, "-"
      }' "$f"
  done
}

source_list=/etc/apt/sources.list.d/tarvek-main-src.sources

add_source_entry() {
  [ -f "$source_list" ] && return 0
  local line uri suite signed
  line=$(main_suite_source | head -n 1)
  [ -n "$line" ] || { say "no apt source for the main Debian suite found"; exit 1; }
  read -r uri suite signed <<<"$line"
  say "adding deb-src for $suite"
  {
    echo "Types: deb-src"
    echo "URIs: $uri"
    echo "Suites: $suite"
    echo "Components: main"
    [ "$signed" != "-" ] && echo "Signed-By: $signed"
  } >"$source_list"
  apt_updated=no
}

# fetch_source PACKAGE CHECK: the Debian source package PACKAGE, the suite's
# version, unpacked into $deps_dir, unless a file matching the glob CHECK
# (relative to $deps_dir) is there already.
fetch_source() {
  local package=$1 check=$2
  if compgen -G "$deps_dir/$check" >/dev/null; then
    return 0
  fi
  add_source_entry
  apt_update
  local version
  version=$(apt-cache showsrc "$package" | awk '/^Version:/ { print $2; exit }')
  [ -n "$version" ] || { say "no source record for $package"; exit 1; }
  say "fetching $package source $version"
  mkdir -p "$deps_dir"
  (cd "$deps_dir" && apt-get source -qq "$package=$version" >/dev/null 2>&1)
  compgen -G "$deps_dir/$check" >/dev/null \
    || { say "$package source did not unpack into $deps_dir"; exit 1; }
}

install_packages
# The launcher's decompressor.
fetch_source zstd 'libzstd-*/lib/decompress/zstd_decompress.c'
# A third-party command-line program that the tests run through the adapter
# library with its own test suite (tests/jq).
fetch_source jq 'jq-*/src/main.c'
