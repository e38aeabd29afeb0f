#!/usr/bin/env bash
# Installs tarvek-pack and the prebuilt launcher parts it links launchers
# from, so that it runs from any folder without the source tree:
#
#   tools/install.sh BUILD_DIR PREFIX
#
#   PREFIX/bin/tarvek-pack
#   PREFIX/lib/tarvek-onefile/launcher-parts/   (a copy of BUILD_DIR/win/launcher-parts)
#
# The parts hold both start-ups (windowed and console) and the adapter
# library that tarvek-pack --run links. At pack time tarvek-pack runs
# lld-link and llvm-rc (Debian's lld and llvm, which tools/setup.sh
# installs) and needs the libraries of libzstd, libpng and pixman. ./tarvek
# install builds first and then runs this.
set -euo pipefail

build=${1:?usage: tools/install.sh BUILD_DIR PREFIX}
prefix=${2:?usage: tools/install.sh BUILD_DIR PREFIX}
tool=$build/host/pack/tarvek-pack
parts=$build/win/launcher-parts
[ -x "$tool" ] || { echo "install: no $tool: build first (./tarvek build)" >&2; exit 1; }
[ -f "$parts/link_settings.rsp" ] || { echo "install: no launcher parts in $parts: build first" >&2; exit 1; }

library=$prefix/lib/tarvek-onefile
mkdir -p "$prefix/bin" "$library"
# The parts are replaced whole: copied beside the old ones, then swapped in.
staged=$(mktemp -d "$library/.launcher-parts.XXXXXX")
cp -R "$parts/." "$staged/"
chmod -R a+rX "$staged"
if [ -d "$library/launcher-parts" ]; then
  mv "$library/launcher-parts" "$staged.old"
fi
mv "$staged" "$library/launcher-parts"
rm -rf "${staged:?}.old"
install -m 755 "$tool" "$prefix/bin/tarvek-pack.new"
mv "$prefix/bin/tarvek-pack.new" "$prefix/bin/tarvek-pack"
echo "installed $prefix/bin/tarvek-pack and $library/launcher-parts"
