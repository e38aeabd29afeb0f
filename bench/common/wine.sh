# Sourced by the bench scripts once they have set $build: the environment
# ./tarvek gives Wine, the emulator and server programs, and windows_path.
export WINEPREFIX="$build/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"
wine64=/usr/lib/wine/wine64
[ -x "$wine64" ] || wine64=$(command -v wine64)
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)
build_real=$(cd "$build" && pwd -P)

# windows_path PATH: a path below the build folder, as given or as the
# system resolves it, the way Windows programs see it: on drive T:, which
# is the build folder and nothing else of the host.
windows_path() {
  local rel
  case $1 in
    "$build_real" | "$build_real"/*) rel=${1#"$build_real"} ;;
    *) rel=${1#"$build"} ;;
  esac
  printf 'T:%s\n' "${rel//\//\\}"
}
