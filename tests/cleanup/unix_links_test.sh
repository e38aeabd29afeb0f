#!/usr/bin/env bash
# Unix symbolic links inside a tree, as Wine shows them to Windows programs:
# a link to a folder as a reparse point, a link to a file as that file, a
# dangling link not at all. Wine opens, deletes and sets the attributes of
# what a link points to, so one deletion request must leave every link that
# points out of the tree alone; all the rest goes.
#
# Then a folder traded for a link while a request is inside it: the
# request walks down a chain of 20 folders to 4000 files at the bottom;
# halfway through those files the top of the chain and a link to an
# outside copy of the chain trade places (renameat2 with RENAME_EXCHANGE),
# so that every path through the chain now reaches outside. The folders of
# the chain are removed on the way back up through handles whose names the
# system gives as the folders entered, so the outside copy stays whole; a
# removal by path would take it apart from the bottom up.
#
# COMMAND... runs a Windows program (the Wine emulator line).
set -euo pipefail
work=$1 work_windows=$2 program=$3
shift 3
case "$work" in */tests/cleanup/*) ;; *) echo "refusing to work in $work" >&2; exit 2 ;; esac

rm -rf "$work"
mkdir -p "$work/outside/folder" "$work/outside/empty" "$work/tree/sub"
cd "$work"
echo kept >outside/folder/kept.txt
echo file >outside/file.txt
echo read-only >outside/read-only.txt
chmod a-w outside/read-only.txt
echo plain >tree/plain.txt
echo sibling >tree/sibling.txt
echo inner >tree/sub/inner.txt
ln -s ../outside/folder tree/folder-link
ln -s "$work/outside/empty" tree/empty-folder-link
ln -s ../outside/file.txt tree/file-link
ln -s ../../outside/read-only.txt tree/sub/read-only-link
ln -s sibling.txt tree/sibling-link
ln -s outside/file.txt top-file-link

"$@" "$program" --scenario remove_tree "$work_windows\\tree"
# A request on a path that is itself a link to a file.
"$@" "$program" --scenario remove_tree "$work_windows\\top-file-link"

failed=0
expect() {
  if ! eval "$1"; then
    echo "FAILED: $2" >&2
    failed=1
  fi
}
expect '[ "$(cat outside/folder/kept.txt)" = kept ]' "the folder a link points to keeps its file"
expect '[ -d outside/empty ]' "the empty folder a link points to is still there"
expect '[ "$(cat outside/file.txt)" = file ]' "the file a link points to is still there"
expect '[ "$(stat -c %a outside/read-only.txt)" = 444 ]' "the read-only file a link points to keeps its mode"
expect '[ ! -e tree/plain.txt ] && [ ! -e tree/sibling.txt ] && [ ! -e tree/sub/inner.txt ]' \
  "every plain file in the tree is removed"
echo "left in the tree: $(cd tree && find . -mindepth 1 -printf '%P ' | sort)"

chain=$(printf 'level%d/' {1..20})
mkdir -p "race/tree/sub/$chain" "race/outside/$chain"
bottom="race/tree/sub/$chain"
(cd "$bottom" && touch f{1..4000})
ln -s ../outside race/tree/link
"$@" "$program" --scenario remove_tree "$work_windows\\race\\tree" &
walker=$!
until [ "$(ls "$bottom" | wc -l)" -lt 2000 ] || ! kill -0 $walker 2>/dev/null; do
  sleep 0.005
done
expect "kill -0 $walker" "the request was still inside the chain when it was traded"
python3 -c 'import ctypes, sys; sys.exit(ctypes.CDLL(None).renameat2(-100, b"race/tree/sub", -100, b"race/tree/link", 2))'
wait $walker
echo "traded: $(find race/outside -mindepth 1 -type d 2>/dev/null | wc -l) of 20 outside folders left"
expect '[ -d "race/outside/$chain" ]' "the outside copy of the chain stays whole when the walked chain is traded for a link"
rm -rf "$work"
exit $failed
