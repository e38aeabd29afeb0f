"""Packing the applications: with tarvek-pack, and with NSIS for the peer."""
import json
import subprocess
import time

from apps import file_digest
from progress import say

PACK_TOOL = "tarvek-pack"


def timed(command, **kwargs):
    start = time.monotonic()
    subprocess.run(command, check=True, **kwargs)
    return time.monotonic() - start


def pack_ours(build, app, out, *options):
    """Packs with the default options and OPTIONS (--run PROGRAM); the
    seconds it took."""
    return timed([str(build / "host" / "pack" / PACK_TOOL), str(app), "-o", str(out), "--quiet", *options])


def link_command(build, stored, out, *objects):
    """A launcher linked around a stored payload, with more objects."""
    return [str(build / "host" / "image" / "tarvek-link-launcher"), "--parts", str(build / "win" / "launcher-parts"),
            "--payload", str(stored), "-o", str(out)] + [a for o in objects for a in ("--linker-arg", str(o))]


def pack_peer(root, build, app, out, work):
    script = (root / "bench" / "startup" / "peer.nsi.in").read_text()
    script = (script.replace("@OUTPUT@", str(out)).replace("@APP_DIR@", str(app))
              .replace("@HOST_EXE@", str(build / "win" / "bench" / "startup" / "bench_host.exe")))
    nsi = work / "packed" / (out.stem + ".nsi")
    nsi.write_text(script)
    return timed(["makensis", "-V1", "-NOCD", str(nsi)], stdout=subprocess.DEVNULL)


def ensure_peer(root, build, work, name, app, app_key):
    """NSIS takes minutes at 300 MB: its launcher is kept while the app and
    the script stay the same, together with the pack time it took."""
    out = work / "packed" / f"{name}-nsis.exe"
    marker = work / "packed" / f"{name}-nsis.json"
    key = dict(app_key, script=file_digest(root / "bench" / "startup" / "peer.nsi.in"),
               host=file_digest(build / "win" / "bench" / "startup" / "bench_host.exe"))
    if marker.exists() and out.exists():
        saved = json.loads(marker.read_text())
        if saved.get("key") == key:
            return out, saved["seconds"]
    say(f"packing the {name} application with NSIS")
    seconds = pack_peer(root, build, app, out, work)
    marker.write_text(json.dumps({"key": key, "seconds": seconds}))
    return out, seconds
