# Sourced by ./tarvek and by the bench and test scripts once they have set
# $build, the build folder: exports the environment of tools/wine.env (its
# prefix in $build) and gives the Wine programs, windows_path and the
# one wineserver of a run.
set -a
# shellcheck source=wine.env
source "$(dirname "${BASH_SOURCE[0]}")/wine.env"
set +a
WINEPREFIX=$build/$WINEPREFIX
# Debian's Wine programs themselves rather than the wrappers on the PATH.
wine64=/usr/lib/wine/wine64
[ -x "$wine64" ] || wine64=$(command -v wine64) || wine64=wine64
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver) || wineserver=wineserver

# windows_path PATH: a path below the build folder, as given or as the
# system resolves it, the way Windows programs see it: on drive T:, which
# is the build folder and nothing else of the host.
windows_path() {
  local real root
  real=$(realpath -m "$1") root=$(realpath -m "$build")
  case $real in
    "$root" | "$root"/*) ;;
    *) echo "windows_path: $1 is outside the build folder $root" >&2; return 1 ;;
  esac
  local rel=${real#"$root"}
  printf 'T:%s\n' "${rel//\//\\}"
}

# start_wineserver: one persistent wineserver for the prefix, so that no
# process start pays for a fresh one, and Wine's background processes
# started here with their output elsewhere, so that none of them holds a
# caller's output open. A server that already runs (of a test run, say)
# serves as well; wine_server_started tells whether this call started it.
start_wineserver() {
  wine_server_started=no
  "$wineserver" -p </dev/null >/dev/null 2>&1 && wine_server_started=yes
  "$wine64" cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
}
# stop_wineserver: ends the server if start_wineserver started it.
stop_wineserver() {
  [ "${wine_server_started:-no}" = no ] || "$wineserver" -k 2>/dev/null || true
}
