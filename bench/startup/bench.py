#!/usr/bin/python3
"""Start-up latency and total cost of a packed launcher, side by side with
the floor (the application run directly), the limit (a minimal decoder over
the same frame) and a peer (a silent NSIS self-extractor).

Run through ./tarvek bench, which sets up, builds, starts one wineserver and
then calls this script with --build. Writes a Markdown table, the raw figures
as JSON and a PNG plot to bench/results/ (or --out).
"""

import argparse
import datetime
import hashlib
import json
import os
import platform
import random
import shutil
import statistics
import struct
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]

# name, files, bytes (10^6-byte megabytes)
SIZES = {
    "small": (20, 5_000_000),
    "medium": (500, 100_000_000),
    "large": (2000, 300_000_000),
}
GENERATOR_VERSION = 1
SUBJECTS = ["floor", "ours", "peer", "limit_decode", "limit_write", "limit_remove"]
# Subjects for looking into a gap, run only when named in --subjects.
EXTRA_SUBJECTS = ["limit_write_32k", "empty", "empty_shell32"]
LABELS = {
    "floor": "floor: application run directly",
    "ours": "this launcher",
    "peer": "peer: NSIS solid LZMA",
    "limit_decode": "limit: decode only",
    "limit_write": "limit: decode and write",
    "limit_remove": "limit: decode, write, remove",
    "limit_write_32k": "limit: decode and write, 32 KiB per WriteFile",
    "empty": "an empty windowed program",
    "empty_shell32": "an empty windowed program that loads shell32",
}
LONG_RUN_S = 4.0


def say(text):
    print(f"bench: {text}", file=sys.stderr, flush=True)


# ---------------------------------------------------------------- the apps

def text_like(rng, count, vocabulary):
    """Lines of words drawn from a fixed vocabulary: compresses like prose."""
    words = []
    size = 0
    while size < count:
        line = " ".join(rng.choices(vocabulary, k=rng.randint(4, 14))) + "\n"
        words.append(line)
        size += len(line)
        if len(words) >= 4096:
            words = ["".join(words)]
    return "".join(words).encode()[:count]


def folder_names(rng, count):
    """Nested folders, one to four levels deep."""
    tops = ["lib", "data", "share", "plugins", "res"]
    folders = []
    for i in range(count):
        depth = rng.randint(1, 4)
        parts = [rng.choice(tops)] + [f"d{rng.randrange(6)}" for _ in range(depth - 1)]
        parts[-1] += f"_{i:03d}"
        folders.append("/".join(parts))
    return folders


def generate_app(directory, files, total, seed, main_dll):
    """Deterministic from the seed: main.dll and files - 1 data files that
    add up to total bytes, in nested folders; in pairs of equal size, one
    incompressible and one text-like."""
    rng = random.Random(seed)
    vocabulary = ["".join(rng.choices("abcdefghijklmnopqrstuvwxyz", k=rng.randint(2, 10)))
                  for _ in range(4096)]
    if directory.exists():
        shutil.rmtree(directory)
    directory.mkdir(parents=True)
    shutil.copyfile(main_dll, directory / "main.dll")
    data_files = files - 1
    left = total - main_dll.stat().st_size
    pairs = data_files // 2
    weights = [rng.uniform(0.2, 1.8) for _ in range(pairs)]
    scale = left / 2 / sum(weights)
    sizes = []
    for w in weights:
        n = int(w * scale)
        sizes += [n, n]
    if data_files % 2:
        sizes.append(0)
    sizes[-1] += left - sum(sizes)
    folders = folder_names(rng, max(1, data_files // 10))
    for i, size in enumerate(sizes):
        folder = directory / rng.choice(folders)
        folder.mkdir(parents=True, exist_ok=True)
        if i % 2 == 0:
            content, suffix = rng.randbytes(size), "bin"
        else:
            content, suffix = text_like(rng, size, vocabulary), "txt"
        (folder / f"file{i:04d}.{suffix}").write_bytes(content)


def file_digest(path):
    return hashlib.sha256(Path(path).read_bytes()).hexdigest()


def ensure_app(work, name, seed, main_dll):
    files, total = SIZES[name]
    directory = work / "apps" / name
    marker = work / "apps" / f"{name}.json"
    wanted = {"files": files, "bytes": total, "seed": seed, "generator": GENERATOR_VERSION,
              "main_dll": file_digest(main_dll)}
    if marker.exists() and json.loads(marker.read_text()) == wanted and directory.exists():
        return directory, wanted
    say(f"generating the {name} application ({files} files, {total / 1e6:.0f} MB)")
    generate_app(directory, files, total, seed, main_dll)
    marker.write_text(json.dumps(wanted))
    return directory, wanted


# ---------------------------------------------------------------- packing

def timed(command, **kwargs):
    start = time.monotonic()
    subprocess.run(command, check=True, **kwargs)
    return time.monotonic() - start


def pack_tool(build):
    """tarvek-pack when the build has it, else the payload writer and the
    launcher link that ./tarvek pack uses."""
    for candidate in (build / "host" / "tarvek-pack", build / "host" / "pack" / "tarvek-pack"):
        if candidate.is_file() and os.access(candidate, os.X_OK):
            return candidate
    return None


def pack_ours(build, app, out):
    tool = pack_tool(build)
    if tool is not None:
        return timed([str(tool), str(app), "-o", str(out), "--quiet"]), "tarvek-pack"
    stored = out.with_suffix(".stored")
    seconds = timed([str(build / "host" / "payload" / "tarvek-payload"), "--dir", str(app), "-o", str(stored)])
    seconds += timed(link_command(build, stored, out))
    stored.unlink()
    return seconds, "tarvek-payload + tarvek-link-launcher"


def link_command(build, stored, out, *extra):
    return [str(build / "host" / "image" / "tarvek-link-launcher"), "--parts", str(build / "win" / "launcher-parts"),
            "--payload", str(stored), "-o", str(out)] + [a for e in extra for a in ("--linker-arg", str(e))]


def pack_peer(build, app, out, work):
    script = (ROOT / "bench" / "startup" / "peer.nsi.in").read_text()
    script = (script.replace("@OUTPUT@", str(out)).replace("@APP_DIR@", str(app))
              .replace("@HOST_EXE@", str(build / "win" / "bench" / "startup" / "bench_host.exe")))
    nsi = work / "packed" / (out.stem + ".nsi")
    nsi.write_text(script)
    return timed(["makensis", "-V1", "-NOCD", str(nsi)], stdout=subprocess.DEVNULL)


def ensure_peer(build, work, name, app, app_key):
    """NSIS takes minutes at 300 MB: its launcher is kept while the app and
    the script stay the same, together with the pack time it took."""
    out = work / "packed" / f"{name}-nsis.exe"
    marker = work / "packed" / f"{name}-nsis.json"
    key = dict(app_key, script=file_digest(ROOT / "bench" / "startup" / "peer.nsi.in"),
               host=file_digest(build / "win" / "bench" / "startup" / "bench_host.exe"))
    if marker.exists() and out.exists():
        saved = json.loads(marker.read_text())
        if saved.get("key") == key:
            return out, saved["seconds"]
    say(f"packing the {name} application with NSIS")
    seconds = pack_peer(build, app, out, work)
    marker.write_text(json.dumps({"key": key, "seconds": seconds}))
    return out, seconds


def section_offsets(exe):
    """File offset of each section of a PE image, by name."""
    data = Path(exe).read_bytes()[:4096]
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    count, optional = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
    offsets = {}
    for i in range(count):
        at = pe + 24 + optional + 40 * i
        offsets[data[at:at + 8].rstrip(b"\0").decode()] = struct.unpack_from("<I", data, at + 20)[0]
    return offsets


def stored_payload_of(exe):
    """The stored payload at the start of a launcher's .rdata, cut at its
    length field: magic, one Zstandard frame (walked block by block), zero
    padding to a multiple of 8, the length field."""
    data = Path(exe).read_bytes()
    start = section_offsets(exe)[".rdata"]
    at = start + 3
    if data[start:at] != b"JWX" or data[at:at + 4] != b"\x28\xb5\x2f\xfd":
        raise RuntimeError(f"{exe}: no payload at the start of .rdata")
    descriptor = data[at + 4]
    single_segment, checksum = descriptor & 0x20, descriptor & 0x04
    content_size_bytes = [1 if single_segment else 0, 2, 4, 8][descriptor >> 6]
    at += 5 + (0 if single_segment else 1) + [0, 1, 2, 4][descriptor & 3] + content_size_bytes
    while True:
        header = int.from_bytes(data[at:at + 3], "little")
        last, kind, size = header & 1, (header >> 1) & 3, header >> 3
        at += 3 + (1 if kind == 1 else size)
        if last:
            break
    at += 4 if checksum else 0
    end = start + ((at - start + 7) // 8) * 8 + 8
    if int.from_bytes(data[end - 8:end], "little") != end - 8 - start:
        raise RuntimeError(f"{exe}: the payload's length field does not match its frame")
    return data[start:end]


def pack_phases(build, ours, out):
    """The packed launcher's very payload linked again, with the bench's
    phase hooks (bench/startup/phase_hooks.cpp) added to the link."""
    hooks = build / "win" / "bench" / "startup" / "phase_hooks.obj"
    stored = out.with_suffix(".stored")
    stored.write_bytes(stored_payload_of(ours))
    subprocess.run(link_command(build, stored, out, hooks), check=True)
    stored.unlink()
    return out


PHASES = [("to launcher_main", "start", "launcher_main"),
          ("role, template, reader set-up", "launcher_main", "first_file_opened"),
          ("extraction", "first_file_opened", "last_file_closed"),
          ("to CreateProcessW", "last_file_closed", "create_process_called"),
          ("inside CreateProcessW", "create_process_called", "create_process_returned"),
          ("child: CreateProcessW to its launcher_main", "create_process_called", "child_launcher_main"),
          ("child: launcher_main to run_code", "child_launcher_main", "entered"),
          ("application runs, child ends", "entered", "wait_returned"),
          ("clean-up and exit", "wait_returned", "end")]
PHASE_COUNTERS = ["CreateFileW", "WriteFile", "CreateDirectoryW", "SHFileOperationW", "GetFileAttributesW", "Sleep",
                  "DeleteFileW", "RemoveDirectoryW", "FindNextFileW", "SetFileAttributesW"]


def measure_phases(wine, build, exe, runs):
    """Phase durations (s) of the parent, from the hooks' marks and the
    driver's clock, and the parent's call counts."""
    phases_file = build / "bench" / "work" / "phases.txt"
    rows = []
    for _ in range(runs + 1):
        phases_file.unlink(missing_ok=True)
        figures = wine.run([wine.windows_path(exe)], extra_env={"TARVEK_BENCH_PHASES": wine.windows_path(phases_file)})
        by_pid = {}
        for line in phases_file.read_text().replace("\r", "").splitlines():
            pid, key, value = line.split()
            by_pid.setdefault(pid, {})[key] = int(value)
        parent = next(v for v in by_pid.values() if "create_process_called" in v)
        child = next((v for v in by_pid.values() if "create_process_called" not in v), {})
        frequency = figures["qpc_frequency"]
        marks = dict(parent, start=figures["start_qpc"], end=figures["end_qpc"],
                     child_launcher_main=child.get("launcher_main", 0),
                     entered=figures["start_qpc"] + figures["startup_s"] * frequency)
        row = {label: (marks[b] - marks[a]) / frequency for label, a, b in PHASES if a in marks and b in marks}
        row.update({k: parent.get(k, 0) for k in PHASE_COUNTERS})
        row["inside WriteFile"] = parent.get("write_ticks", 0) / frequency
        rows.append(row)
    rows = rows[1:]  # the first is a warm-up
    return {key: statistics.median(r[key] for r in rows) for key in rows[0]}


def frame_window(exe):
    """The Zstandard window of the frame at the start of the image's .rdata."""
    data = exe.read_bytes()[:1 << 20]
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections, optional = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
    for i in range(sections):
        at = pe + 24 + optional + 40 * i
        if data[at:at + 6] == b".rdata":
            offset = struct.unpack_from("<I", data, at + 20)[0]
            break
    else:
        return None
    with open(exe, "rb") as f:
        f.seek(offset)
        head = f.read(32)
    frame = head[3:]
    if frame[:4] != b"\x28\xb5\x2f\xfd":
        return None
    descriptor = frame[4]
    if descriptor & 0x20:  # single segment: the window is the content size
        fcs_flag = descriptor >> 6
        did_bytes = [0, 1, 2, 4][descriptor & 3]
        at = 5 + did_bytes
        width = [1, 2, 4, 8][fcs_flag]
        value = int.from_bytes(frame[at:at + width], "little")
        return value + (256 if width == 2 else 0)
    exponent, mantissa = frame[5] >> 3, frame[5] & 7
    base = 1 << (10 + exponent)
    return base + (base >> 3) * mantissa


# ---------------------------------------------------------------- running

class Wine:
    def __init__(self, build):
        self.build = build
        self.wine64 = "/usr/lib/wine/wine64" if os.access("/usr/lib/wine/wine64", os.X_OK) else "wine64"
        self.env = dict(os.environ, WINEPREFIX=str(build / "wine"), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d")
        self.env.pop("TARVEK_ONEFILE_PARENT", None)
        self.driver = self.windows_path(build / "win" / "bench" / "startup" / "bench_driver.exe")
        self.stamp = self.windows_path(build / "bench" / "work" / "stamp.txt")

    def windows_path(self, path):
        """The path as Windows programs see it: the build folder is T:."""
        relative = Path(path).resolve().relative_to(self.build.resolve())
        return "T:\\" + str(relative).replace("/", "\\")

    def run(self, command, memory=False, extra_env=None):
        args = [self.wine64, self.driver] + (["--memory"] if memory else []) + ["--stamp", self.stamp, "--"]
        done = subprocess.run(args + command, env=dict(self.env, **(extra_env or {})), stdin=subprocess.DEVNULL,
                              capture_output=True, text=True)
        figures = {}
        for line in done.stdout.replace("\r", "").splitlines():
            key, _, value = line.partition(" ")
            if value:
                figures[key] = float(value)
        if done.returncode != 0 or figures.get("exit_code") != 0:
            raise RuntimeError(f"{' '.join(command)} failed: {done.stdout}{done.stderr}")
        return figures


def temp_folder(build):
    users = build / "wine" / "drive_c" / "users"
    return [p / "AppData" / "Local" / "Temp" for p in users.iterdir()] if users.exists() else []


def leftovers(build):
    found = []
    for temp in temp_folder(build):
        if temp.exists():
            found += [p for p in temp.iterdir() if p.name.startswith(("onefile_", "limit_", "ns"))]
    return found


def remove_limit_output(build):
    for temp in temp_folder(build):
        if temp.exists():
            for p in temp.glob("limit_*"):
                shutil.rmtree(p)


def commands(wine, build, work, name, app):
    host = wine.windows_path(build / "win" / "bench" / "startup" / "bench_host.exe")
    limit = wine.windows_path(build / "win" / "bench" / "startup" / "bench_limit.exe")
    ours = wine.windows_path(work / "packed" / f"{name}.exe")
    return {
        "floor": [host, wine.windows_path(app / "main.dll")],
        "ours": [ours],
        "peer": [wine.windows_path(work / "packed" / f"{name}-nsis.exe")],
        "limit_decode": [limit, "decode", ours],
        "limit_write": [limit, "write", ours],
        "limit_remove": [limit, "remove", ours],
        "limit_write_32k": [limit, "write-32k", ours],
        "empty": [wine.windows_path(build / "win" / "bench" / "startup" / "bench_empty.exe")],
        "empty_shell32": [wine.windows_path(build / "win" / "bench" / "startup" / "bench_empty_shell32.exe")],
    }


def measure(wine, build, subject_commands, runs, subjects):
    """A warm-up run of each subject, then rounds that take each subject in
    turn, so that a change of load falls on all alike; subjects whose
    warm-up took over 4 s get 3 runs. Then one run with memory sampling."""
    samples = {s: [] for s in subjects}
    want = {}
    for subject in subjects:
        first = wine.run(subject_commands[subject])
        remove_limit_output(build)
        want[subject] = 3 if first["total_s"] > LONG_RUN_S else runs
    for round_index in range(max(want.values())):
        for subject in subjects:
            if round_index < want[subject]:
                samples[subject].append(wine.run(subject_commands[subject]))
                remove_limit_output(build)
    memory = {}
    for subject in subjects:
        memory[subject] = wine.run(subject_commands[subject], memory=True)
        remove_limit_output(build)
    return samples, memory


def summary(values):
    values = [v for v in values if v is not None]
    if not values:
        return None
    return {"median": statistics.median(values), "min": min(values), "max": max(values), "n": len(values)}


# ---------------------------------------------------------------- output

def machine(wine64):
    cpu = "unknown"
    for line in Path("/proc/cpuinfo").read_text().splitlines():
        if line.startswith("model name"):
            cpu = line.split(":", 1)[1].strip()
            break
    memory = Path("/proc/meminfo").read_text().split()[1]
    wine = subprocess.run([wine64, "--version"], capture_output=True, text=True).stdout.strip() or "wine"
    return f"{cpu}, {os.cpu_count()} cores, {int(memory) / 1048576:.0f} GiB, {platform.system()} " \
           f"{platform.release()}, {wine}"


def load_average():
    return " ".join(Path("/proc/loadavg").read_text().split()[:3])


def seconds_cell(s):
    if s is None:
        return "–"
    if s["n"] == 1:
        return f"{s['median']:.3f}"
    return f"{s['median']:.3f} ({s['min']:.3f}–{s['max']:.3f})"


def mib(n):
    return "–" if n is None or n < 0 else f"{n / 1048576:.1f}"


def goal_lines(results, names):
    def med(name, subject, key):
        s = results[name]["times"].get(subject, {}).get(key)
        return s["median"] if s else None

    lines = []
    ok_all = True

    def check(text, ratio, passed):
        nonlocal ok_all
        ok_all &= passed
        lines.append(f"| {text} | {ratio} | {'met' if passed else 'missed'} |")

    # (what, the limit's variant, the bound; the sizes where the peer counts, its factor)
    goals = (("start-up", "startup_s", "limit_write", "decode-and-write", 1.1, ("medium", "large"), 8),
             ("total", "total_s", "limit_remove", "decode-write-remove", 1.2, ("large",), 5))
    for name in names:
        for what, key, variant, variant_text, bound, peer_sizes, factor in goals:
            floor, limit, ours = med(name, "floor", key), med(name, variant, "total_s"), med(name, "ours", key)
            if None not in (floor, limit, ours):
                r = ours / (floor + limit)
                check(f"{name}: {what} ≤ {bound} × (floor + {variant_text} limit)", f"{r:.2f}×", r <= bound)
            peer = med(name, "peer", key)
            if name in peer_sizes and None not in (peer, ours):
                r = peer / ours
                check(f"{name}: {what} ≥ {factor}× lower than the peer's", f"{r:.1f}× lower", r >= factor)
    own = [med(name, "ours", "own_start_s") for name in names]
    own = [v for v in own if v is not None]
    if len(own) >= 2:
        r = max(own) / min(own)
        check("child's start to run_code flat across sizes (within 20 %)", f"max/min {r:.2f}", r <= 1.2)
    for name in names:
        peak = results[name]["memory"].get("ours", {}).get("parent_peak_private")
        window = results[name].get("window")
        if peak is not None and window:
            limit = window + 4 * 1048576
            check(f"{name}: parent peak private ≤ window ({mib(window)} MiB) + 4 MiB",
                  f"{mib(peak)} MiB ({peak / limit:.2f}× the bound)", peak <= limit)
    return lines


def write_table(results, names, meta, out):
    subjects = [s for s in SUBJECTS + EXTRA_SUBJECTS if any(s in results[n]["times"] for n in names)]
    lines = [f"# Start-up and total cost: this launcher, the floor, the limit, a peer", "",
             f"Taken {meta['date']} on {meta['machine']}.", "",
             f"Load average (1, 5, 15 min) at the start: {meta['load_start']}; at the end: {meta['load_end']}. "
             f"{meta['load_note']}", "",
             f"Launcher: {meta['commit']}; packed with {meta['pack_tool']} (default options). "
             f"Seconds, median (min–max) of {meta['runs']} runs after a warm-up run (3 for subjects whose "
             "warm-up took over 4 s). Start-up: from just before `CreateProcessW` until the main library's "
             "`run_code` is entered; total: until the process has ended. For the limit, which runs no "
             "application, only the total counts.", ""]
    header = "| subject | " + " | ".join(f"{n}: {SIZES[n][0]} files / {SIZES[n][1] // 10**6} MB" for n in names) + " |"
    rule = "|---|" + "---:|" * len(names)
    for key, title in (("startup_s", "Start-up latency (s)"), ("total_s", "Total (s)")):
        lines += [f"## {title}", "", header, rule]
        for subject in subjects:
            cells = [seconds_cell(results[n]["times"].get(subject, {}).get(key)) for n in names]
            if key == "startup_s" and all(c == "–" for c in cells):
                continue
            lines.append(f"| {LABELS[subject]} | " + " | ".join(cells) + " |")
        lines.append("")
    lines += ["## The application's own start", "",
              "The process that runs the main library, from its creation to `run_code` (s): for this "
              "launcher its child, for the peer and the floor the host executable.", "", header, rule]
    for subject in ("floor", "ours", "peer"):
        if subject in subjects:
            cells = [seconds_cell(results[n]["times"].get(subject, {}).get("own_start_s")) for n in names]
            lines.append(f"| {LABELS[subject]} | " + " | ".join(cells) + " |")
    lines += ["", "## Memory (MiB, one sampled run)", "",
              "Parent: the started process, sampled every millisecond: peak working set, and the largest "
              "private size seen (under Wine the private bytes are the anonymous resident pages; they stand "
              "for the commit). Child: the process that runs the main library, at `run_code`: peak working "
              "set and committed private memory.", "",
              "| subject | figure | " + " | ".join(names) + " |", "|---|---|" + "---:|" * len(names)]
    for subject in subjects:
        for key, label in (("parent_peak_working_set", "parent peak working set"),
                           ("parent_peak_private", "parent peak private"),
                           ("child_peak_working_set", "child peak working set"),
                           ("child_private_commit", "child private commit")):
            if key.startswith("child") and subject == "floor":
                continue
            cells = [mib(results[n]["memory"].get(subject, {}).get(key)) for n in names]
            if all(c == "–" for c in cells):
                continue
            lines.append(f"| {LABELS[subject]} | {label} | " + " | ".join(cells) + " |")
    lines += ["", "## Sizes and pack time", "",
              "| | " + " | ".join(names) + " |", "|---|" + "---:|" * len(names)]
    rows = [("application (MB)", lambda r: f"{r['app_bytes'] / 1e6:.1f}"),
            ("this launcher, packed (MB)", lambda r: f"{r['ours_bytes'] / 1e6:.1f}"),
            ("peer, packed (MB)", lambda r: f"{r['peer_bytes'] / 1e6:.1f}" if r.get("peer_bytes") else "–"),
            ("frame window (MiB)", lambda r: mib(r.get("window"))),
            ("pack time, this launcher (s)", lambda r: f"{r['ours_pack_s']:.1f}"),
            ("pack time, peer (s)", lambda r: f"{r['peer_pack_s']:.1f}" if r.get("peer_pack_s") else "–")]
    for label, cell in rows:
        lines.append(f"| {label} | " + " | ".join(cell(results[n]) for n in names) + " |")
    lines += ["", f"Launcher around the smallest application (main.dll alone, {meta['tiny_app_bytes']} bytes): "
              f"{meta['tiny_ours_bytes']} bytes; the peer around the same: {meta.get('tiny_peer_bytes', '–')} bytes.",
              "", "## Goals", "", "| goal | measured | |", "|---|---:|---|"]
    lines += goal_lines(results, names)
    columns = [(n, key) for n in names for key in ("phases", "phases_aligned") if results[n].get(key)]
    if columns:
        lines += ["", "## Where this launcher's time goes", "",
                  "The same launcher linked with `bench/startup/phase_hooks.cpp`, whose hooks on a few system "
                  "calls note the time of each phase (seconds, median of 3 runs after a warm-up) and count the "
                  "parent's calls.", "",
                  "| phase | " + " | ".join(f"{n}, {'aligned' if k.endswith('aligned') else 'as packed'}"
                                          for n, k in columns) + " |",
                  "|---|" + "---:|" * len(columns)]
        for key in [label for label, _, _ in PHASES] + ["inside WriteFile"]:
            lines.append(f"| {key} | " + " | ".join(f"{results[n][k].get(key, 0):.3f}" for n, k in columns) + " |")
        for key in PHASE_COUNTERS:
            lines.append(f"| calls: {key} | " + " | ".join(f"{results[n][k].get(key, 0):.0f}"
                                                         for n, k in columns) + " |")
    leftover = meta.get("leftovers")
    lines += ["", f"Left in the prefix's temporary folder after the runs: {leftover or 'nothing'}.", ""]
    out.write_text("\n".join(lines))


def summary_block(results, names, meta):
    """The README's short form: medians only, and the goals."""
    header = "| seconds, median | " + " | ".join(
        f"{SIZES[n][0]} files / {SIZES[n][1] // 10**6} MB" for n in names) + " |"
    lines = [f"Taken {meta['date']} on {meta['machine']}, launcher at commit {meta['commit'].split()[0]}; "
             f"load average at the start {meta['load_start']}. {meta['load_note']}", "",
             header, "|---|" + "---:|" * len(names)]

    def cell(subject, key, n):
        s = results[n]["times"].get(subject, {}).get(key)
        return f"{s['median']:.2f}" if s else "–"

    for subject, key, label in (("floor", "total_s", "floor: the application run directly"),
                                ("ours", "startup_s", "this launcher, start-up"),
                                ("ours", "total_s", "this launcher, total"),
                                ("peer", "startup_s", "NSIS peer, start-up"),
                                ("peer", "total_s", "NSIS peer, total"),
                                ("limit_write", "total_s", "limit: decode and write"),
                                ("limit_remove", "total_s", "limit: decode, write, remove")):
        lines.append(f"| {label} | " + " | ".join(cell(subject, key, n) for n in names) + " |")
    goals = goal_lines(results, names)
    met = sum(1 for g in goals if g.endswith("| met |"))
    lines += ["", f"Goals met: {met} of {len(goals)}; every figure, the goals with their ratios, memory, sizes, "
              "pack times and where the launcher's time goes are in "
              "[bench/results/startup.md](bench/results/startup.md), the plot in "
              "[bench/results/startup.png](bench/results/startup.png)."]
    return "\n".join(lines)


def update_readme(block):
    readme = ROOT / "README.md"
    text = readme.read_text()
    start, end = "<!-- bench summary: written by ./tarvek bench --readme -->", "<!-- end of bench summary -->"
    if start not in text or end not in text:
        say("README.md has no bench summary markers; not updated")
        return
    before, rest = text.split(start, 1)
    _, after = rest.split(end, 1)
    readme.write_text(f"{before}{start}\n{block}\n{end}{after}")


def write_plot(results, names, out):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    xs = [SIZES[n][1] / 1e6 for n in names]
    figure, axes = plt.subplots(1, 2, figsize=(12, 4.8))
    panels = (("startup_s", "Start-up latency", ["floor", "ours", "peer"]),
              ("total_s", "Total", ["floor", "ours", "peer", "limit_decode", "limit_write", "limit_remove"]))
    for axis, (key, title, subjects) in zip(axes, panels):
        for subject in subjects:
            points = [(x, results[n]["times"].get(subject, {}).get(key)) for x, n in zip(xs, names)]
            points = [(x, s) for x, s in points if s]
            if not points:
                continue
            medians = [s["median"] for _, s in points]
            low = [s["median"] - s["min"] for _, s in points]
            high = [s["max"] - s["median"] for _, s in points]
            axis.errorbar([x for x, _ in points], medians, yerr=[low, high], marker="o", capsize=3,
                          label=LABELS[subject], linestyle="--" if subject.startswith("limit") else "-")
        if key == "startup_s":
            floor_plus = []
            for x, n in zip(xs, names):
                f = results[n]["times"].get("floor", {}).get("startup_s")
                w = results[n]["times"].get("limit_write", {}).get("total_s")
                if f and w:
                    floor_plus.append((x, f["median"] + w["median"]))
            if floor_plus:
                axis.plot([x for x, _ in floor_plus], [y for _, y in floor_plus], ":", color="gray",
                          label="floor + decode-and-write limit")
        axis.set_yscale("log")
        axis.set_xlabel("application size (MB)")
        axis.set_ylabel("seconds (median, bars: min–max)")
        axis.set_title(title)
        axis.grid(True, which="both", alpha=0.3)
        axis.legend(fontsize=8)
    figure.tight_layout()
    figure.savefig(out, dpi=110)


# ---------------------------------------------------------------- main

def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", type=Path, default=ROOT / "build", help="the build folder (default: build/)")
    parser.add_argument("--sizes", default="small,medium,large", help="comma-separated: small, medium, large")
    parser.add_argument("--subjects", default=",".join(SUBJECTS),
                        help="comma-separated: " + ", ".join(SUBJECTS + EXTRA_SUBJECTS))
    parser.add_argument("--runs", type=int, default=5, help="runs per subject, at least 5 (default 5)")
    parser.add_argument("--seed", type=int, default=10, help="seed of the synthetic applications")
    parser.add_argument("--out", type=Path, default=ROOT / "bench" / "results", help="where the results go")
    parser.add_argument("--no-phases", dest="phases", action="store_false",
                        help="skip the launcher linked with phase hooks (where its time goes)")
    parser.add_argument("--from-json", type=Path, help="only write the table, plot (and README) again from the "
                        "startup.json of an earlier run")
    parser.add_argument("--readme", action="store_true", help="also rewrite the summary in README.md")
    parser.add_argument("--load-note", default="", help="a sentence on what else ran on the machine")
    args = parser.parse_args()
    names = [n for n in args.sizes.split(",") if n]
    subjects = [s for s in args.subjects.split(",") if s]
    if any(n not in SIZES for n in names) or any(s not in SUBJECTS + EXTRA_SUBJECTS for s in subjects) or args.runs < 1:
        parser.error("unknown size or subject, or no runs")
    if args.from_json:
        saved = json.loads(args.from_json.read_text())
        report(saved["results"], list(saved["results"]), saved["meta"], args)
        return
    build = args.build.resolve()
    work = build / "bench"
    for folder in ("apps", "packed", "work"):
        (work / folder).mkdir(parents=True, exist_ok=True)
    main_dll = build / "win" / "bench" / "startup" / "app" / "main.dll"
    if not main_dll.exists():
        sys.exit("bench: no bench/startup build in the build folder: run ./tarvek bench")
    wine = Wine(build)
    commit = subprocess.run(["git", "-C", str(ROOT), "log", "-1", "--format=%h %s"], capture_output=True,
                            text=True).stdout.strip()
    meta = {"date": datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC"),
            "machine": machine(wine.wine64), "load_start": load_average(), "commit": commit, "runs": args.runs,
            "load_note": args.load_note, "pack_tool": "?"}

    tiny = work / "apps" / "tiny"
    if tiny.exists():
        shutil.rmtree(tiny)
    tiny.mkdir(parents=True)
    shutil.copyfile(main_dll, tiny / "main.dll")
    _, meta["pack_tool"] = pack_ours(build, tiny, work / "packed" / "tiny.exe")
    meta["tiny_app_bytes"] = main_dll.stat().st_size
    meta["tiny_ours_bytes"] = (work / "packed" / "tiny.exe").stat().st_size
    if "peer" in subjects:
        pack_peer(build, tiny, work / "packed" / "tiny-nsis.exe", work)
        meta["tiny_peer_bytes"] = (work / "packed" / "tiny-nsis.exe").stat().st_size

    results = {}
    for name in names:
        app, app_key = ensure_app(work, name, args.seed, main_dll)
        record = {"app_bytes": sum(p.stat().st_size for p in app.rglob("*") if p.is_file())}
        say(f"packing the {name} application")
        ours = work / "packed" / f"{name}.exe"
        record["ours_pack_s"], _ = pack_ours(build, app, ours)
        record["ours_bytes"] = ours.stat().st_size
        record["window"] = frame_window(ours)
        if "peer" in subjects:
            peer, record["peer_pack_s"] = ensure_peer(build, work, name, app, app_key)
            record["peer_bytes"] = peer.stat().st_size
        say(f"running the {name} subjects: {', '.join(subjects)}")
        samples, memory = measure(wine, build, commands(wine, build, work, name, app), args.runs, subjects)
        record["times"] = {s: {k: summary([r.get(k) for r in runs])
                               for k in ("startup_s", "total_s", "own_start_s")}
                           for s, runs in samples.items()}
        record["memory"] = memory
        record["raw"] = samples
        if args.phases and "ours" in subjects:
            say(f"timing the phases of the {name} launcher")
            timed = pack_phases(build, ours, work / "packed" / f"{name}-phases.exe")
            record["phases"] = measure_phases(wine, build, timed, 3)
        results[name] = record
        # Kept after every size, so that an interrupted run still leaves figures.
        partial = args.out / "startup.partial.json"
        args.out.mkdir(parents=True, exist_ok=True)
        partial.write_text(json.dumps({"meta": meta, "results": results}, indent=1))
        for s in subjects:
            t = record["times"][s]
            say(f"  {name} {s}: start-up {seconds_cell(t['startup_s'])}, total {seconds_cell(t['total_s'])}")

    meta["load_end"] = load_average()
    meta["leftovers"] = ", ".join(p.name for p in leftovers(build))
    report(results, names, meta, args)
    (args.out / "startup.partial.json").unlink(missing_ok=True)


def report(results, names, meta, args):
    args.out.mkdir(parents=True, exist_ok=True)
    (args.out / "startup.json").write_text(json.dumps({"meta": meta, "results": results}, indent=1))
    write_table(results, names, meta, args.out / "startup.md")
    write_plot(results, names, args.out / "startup.png")
    if args.readme:
        update_readme(summary_block(results, names, meta))
    print((args.out / "startup.md").read_text())


if __name__ == "__main__":
    main()
