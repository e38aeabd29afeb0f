#!/usr/bin/env bash
# Installs tarvek-pack, the prebuilt launcher parts it links launchers from
# and the SDK for application authors, so that it runs from any folder
# without the source tree:
#
#   tools/install.sh BUILD_DIR PREFIX
#
#   PREFIX/bin/tarvek-pack
#   PREFIX/lib/tarvek-onefile/launcher-parts/   (a copy of BUILD_DIR/win/launcher-parts)
#   PREFIX/include/tarvek/run_code.h            (sdk/include)
#   PREFIX/lib/cmake/TarvekOnefile/             (the CMake package, sdk/cmake, with
#                                                cmake/mingw-clang.cmake and the version file)
#
# The parts hold both start-ups (windowed and console) and the adapter
# library that tarvek-pack --run links. At pack time tarvek-pack runs
# lld-link and llvm-rc (Debian's lld and llvm, which tools/setup.sh
# installs) and needs the libraries of libzstd, libpng and pixman. ./tarvek
# install builds first and then runs this.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:?usage: tools/install.sh BUILD_DIR PREFIX}
prefix=${2:?usage: tools/install.sh BUILD_DIR PREFIX}
tool=$build/host/pack/tarvek-pack
parts=$build/win/launcher-parts
[ -x "$tool" ] || { echo "install: no $tool: build first (./tarvek build)" >&2; exit 1; }
[ -f "$parts/link_settings.rsp" ] || { echo "install: no launcher parts in $parts: build first" >&2; exit 1; }
# The project's version, in its one place; tarvek-pack --version prints it.
version=$(head -n 1 "$root/VERSION")

# install_folder DESTINATION FILL_COMMAND...: DESTINATION replaced whole by
# the folder FILL_COMMAND fills (given as its last argument), made beside
# it and swapped in, so that a failed install leaves the old one.
install_folder() {
  local destination=$1; shift
  mkdir -p "$(dirname "$destination")"
  local staged
  staged=$(mktemp -d "$(dirname "$destination")/.$(basename "$destination").XXXXXX")
  "$@" "$staged" || { rm -rf "${staged:?}"; return 1; }
  chmod -R a+rX "$staged"
  chmod 755 "$staged"
  if [ -d "$destination" ]; then
    mv "$destination" "$staged.old"
  fi
  mv "$staged" "$destination"
  rm -rf "${staged:?}.old"
}
copy_parts() { cp -R "$parts/." "$1/"; }
copy_headers() { cp -R "$root/sdk/include/tarvek/." "$1/"; }
copy_package() {
  cp "$root/sdk/cmake/TarvekOnefileConfig.cmake" "$root/sdk/cmake/stage_application.cmake" \
    "$root/cmake/mingw-clang.cmake" "$1/"
  cmake -DVERSION="$version" -DOUTPUT="$1/TarvekOnefileConfigVersion.cmake" \
    -P "$root/sdk/write_config_version.cmake"
}

install_folder "$prefix/lib/tarvek-onefile/launcher-parts" copy_parts
install_folder "$prefix/include/tarvek" copy_headers
install_folder "$prefix/lib/cmake/TarvekOnefile" copy_package
mkdir -p "$prefix/bin"
install -m 755 "$tool" "$prefix/bin/tarvek-pack.new"
mv "$prefix/bin/tarvek-pack.new" "$prefix/bin/tarvek-pack"
echo "installed $prefix/bin/tarvek-pack, $prefix/lib/tarvek-onefile/launcher-parts,"
echo "  $prefix/include/tarvek/run_code.h and the CMake package $prefix/lib/cmake/TarvekOnefile $version"
