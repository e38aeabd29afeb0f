"""The damage campaign: copies of linked launchers whose stored payload is
mutated in place, and launchers around payloads whose decompressed stream is
malformed; each run is judged by its outcome."""
import collections
import os
import random
import shutil
import struct
import subprocess

from . import common, outcomes, payload

CONFIGS = ("plain", "checksum")

# Every failure exit removes the target directory: a launcher around a
# truncated payload must leave nothing behind.
TRUNCATED_MAY_LEAVE_FOLDER = False


class Base:
    """A linked campaign launcher and the stored payload inside it, where
    tarvek-pack --layout says it lies. The roomy launcher's payload has more
    padding than the format allows, which --layout refuses: it lies where
    that of `like` does, the plain launcher linked from the same parts, and
    has no layout of its own."""

    def __init__(self, conf, name, like=None):
        folder = conf.folder
        with open(os.path.join(folder, f"{name}.exe"), "rb") as f:
            self.image = f.read()
        with open(os.path.join(folder, f"{name}.stored"), "rb") as f:
            self.stored = f.read()
        self.layout = None
        if like is None:
            fields = payload.launcher_layout(conf["pack_tool"], os.path.join(folder, f"{name}.exe"))
            self.offset = fields["payload_offset"]
            self.layout = payload.Layout(self.stored, fields)
            self.frame = self.layout.frame
        else:
            self.offset = like.offset
        if self.image[self.offset:self.offset + len(self.stored)] != self.stored:
            raise RuntimeError(f"{name}.exe does not hold {name}.stored at file offset {self.offset}")

    def image_with(self, area):
        """A copy of the image whose payload area holds `area`: a stored
        payload no longer than the area, the rest zero."""
        if len(area) > len(self.stored):
            raise ValueError("payload larger than the image's payload area")
        area = area + bytes(len(self.stored) - len(area))
        return self.image[:self.offset] + area + self.image[self.offset + len(area):]


def flip(rng, base):
    regions = base.layout.regions
    region = rng.choice(sorted(regions))
    start, end = rng.choice(regions[region])
    at = rng.randrange(start, end)
    bits = 1 if rng.random() < 0.8 else rng.randrange(2, 9)
    mask = 0
    for bit in rng.sample(range(8), bits):
        mask |= 1 << bit
    area = bytearray(base.stored)
    area[at] ^= mask
    # The launcher reads neither padding nor length field; the magic is
    # checked before anything else.
    expect = {"magic": {"error: no header"}, "padding": {"intact"}, "length": {"intact"}}.get(region)
    return f"flip {region} byte {at} mask 0x{mask:02x}", bytes(area), expect


def random_run(rng, base):
    end = base.layout.frame_end
    length = rng.randrange(1, 257)
    at = rng.randrange(3, end)
    length = min(length, end - at)
    area = bytearray(base.stored)
    area[at:at + length] = rng.randbytes(length)
    return f"random run of {length} at {at}", bytes(area), None


def truncate(rng, base):
    kept = rng.randrange(0, len(base.frame))
    area = base.layout.cut(kept)
    return f"frame cut to {kept} of {len(base.frame)} bytes", area, None


def extend(rng, base, roomy):
    """The frame intact, then bytes that are no part of it: the launcher
    stops at the end marker and must never look at them."""
    kind = rng.choice(["random", "zeros", "second frame", "skippable frame", "frame magic"])
    if kind == "random":
        tail = rng.randbytes(rng.randrange(1, 4097))
    elif kind == "zeros":
        tail = bytes(rng.randrange(1, 4097))
    elif kind == "second frame":
        tail = base.frame
    elif kind == "skippable frame":
        body = rng.randbytes(rng.randrange(0, 200))
        tail = struct.pack("<II", 0x184D2A50 + rng.randrange(16), len(body)) + body
    else:
        tail = payload.FRAME_MAGIC + rng.randbytes(rng.randrange(0, 16))
    area = base.layout.wrap(base.frame + tail)
    return f"frame extended by {len(tail)} bytes ({kind})", roomy.image_with(area), {"intact"}


def mutation(seed, config, index, base, roomy):
    """Case `index` of a campaign: the same seed always gives the same case."""
    rng = random.Random(f"{seed}:{config}:{index}")
    pick = rng.random()
    if pick < 0.5:
        description, area, expect = flip(rng, base)
    elif pick < 0.7:
        description, area, expect = random_run(rng, base)
    elif pick < 0.85:
        description, area, expect = truncate(rng, base)
    else:
        return extend(rng, base, roomy)
    return description, base.image_with(area), expect


def malformed_streams(conf, checksum):
    """(name, payload tool options, allowed outcomes) of payloads whose
    decompressed stream breaks the format; None allows any outcome."""
    library = ["--name", "main.dll", "--file", os.path.join(conf.folder, "campaign_app", "main.dll")]

    def header(name, size_bytes):
        return ["--raw", "--hex", (name.encode("utf-16-le") + b"\0\0" + size_bytes).hex()]

    max_size = struct.pack("<Q", 2**64 - 1)
    decode = {"error: decode"}
    cases = [
        ("first size 2^64-1", header("main.dll", max_size) + ["--raw", "--pattern", "3000"], decode),
        ("later size 2^64-1", library + header("data\\big.bin", max_size) + ["--raw", "--pattern", "3000"], decode),
        ("size beyond the stream",
         library + header("data\\big.bin", struct.pack("<Q", 100000)) + ["--raw", "--pattern", "500"], decode),
        ("stream ends mid-size", library + header("data\\x.bin", b"\0\0\0") + ["--no-end-marker"], decode),
        ("name without terminator",
         library + ["--raw", "--hex", "data\\x".encode("utf-16-le").hex(), "--no-end-marker"], decode),
        ("no end marker", library + ["--name", "a.txt", "--text", "a", "--no-end-marker"], decode),
        ("name of 1024 units", library + ["--long-name", "1024", "--text", "x"], decode),
        ("name of 5000 units", library + ["--long-name", "5000", "--text", "x"], decode),
        ("name of 1023 units in one component", library + ["--long-name", "1023,1023", "--text", "x"],
         {"error: open for writing"}),
        ("name of 1023 units in folders", library + ["--long-name", "1023", "--text", "x"], {"intact"}),
        ("empty first name", ["--allow-empty"], {"error: load DLL"}),
        ("first record no library", ["--name", "readme.txt", "--text", "hi"] + library, {"error: load DLL"}),
        ("forward slashes", library + ["--name", "fwd/sub/x.txt", "--text", "x"], {"error: open for writing"}),
        # Names are taken as they stand: this one writes beside the target
        # folder, where nothing removes it.
        ("dot-dot name", library + ["--name", "..\\escaped.txt", "--text", "x"], {"wrote beside its folder"}),
        ("window above 2^27", library + ["--window-log", "27", "--patch-window", "17,1"], decode),
        ("duplicate names", library + ["--name", "a.txt", "--text", "first, longer", "--name", "a.txt",
                                       "--text", "second"], {"intact"}),
        # The parent reads the frame to its end after the end marker: a stream
        # byte there is damage.
        ("bytes after the end marker",
         library + ["--raw", "--hex", "0000", "--raw", "--text", "junk", "--no-end-marker"], decode),
        ("corrupt checksum", library + ["--name", "a.txt", "--pattern", "1000", "--corrupt-checksum"],
         {"error: decode"}),
    ]
    return [(name, options + (["--checksum"] if checksum and "--corrupt-checksum" not in options else []), allowed)
            for name, options, allowed in cases]


def build_malformed(conf, roomy, work, checksum):
    """(description, image, allowed outcomes, expected files) of every
    malformed-stream case."""
    made = []
    for name, options, allowed in malformed_streams(conf, checksum):
        stored = os.path.join(work, "malformed.stored")
        stream = os.path.join(work, "malformed.stream")
        subprocess.run([conf["payload_tool"], *options, "-o", stored, "--stream-copy", stream],
                       check=True, capture_output=True)
        with open(stored, "rb") as f:
            area = f.read()
        with open(stream, "rb") as f:
            stream_bytes = f.read()
        try:
            expected = payload.expected_report(stream_bytes)
        except payload.Malformed:
            expected = None
        made.append((f"malformed: {name}", roomy.image_with(area), allowed, expected))
    return made


def truncations(layout):
    """(where, bytes kept, allowed outcomes) of a stored payload cut short."""
    regions = layout.regions
    header_start, header_end = regions["frame_header"][0]
    magic_end = regions["magic"][0][1]
    first, last = layout.block_bodies[0], layout.block_bodies[-1]
    no_header, decode = {"error: no header"}, {"error: decode"}
    cuts = [("nothing", 0, no_header)]
    cuts += [("inside the magic", kept, no_header) for kept in range(1, magic_end)]
    cuts += [("after the magic", magic_end, decode),
             ("inside the frame header", (header_start + header_end) // 2, decode),
            ("inside a block header", layout.block_headers[0][0] + 1, decode),
            ("inside the first block", (first[0] + first[1]) // 2, decode),
            ("inside the last block", last[1] - 1, decode)]
    if "checksum" in regions:
        cuts.append(("inside the checksum", regions["checksum"][0][0] + 2, decode))
    # The frame is whole: the launcher reads neither padding nor length field.
    for region in ("padding", "length"):
        if region in regions:
            start, end = regions[region][0]
            cuts.append((f"inside the {region}", (start + end) // 2, {"intact"}))
    return cuts


def build_truncated(conf, base, work):
    """(description, image, allowed outcomes) of launchers linked around the
    stored payload cut short, at any length, as ./tarvek pack --payload
    links them."""
    made = []
    stored = os.path.join(work, "truncated.stored")
    linked = os.path.join(work, "truncated.exe")
    for where, kept, allowed in truncations(base.layout):
        with open(stored, "wb") as f:
            f.write(base.stored[:kept])
        subprocess.run([conf["link_tool"], "--parts", conf["launcher_parts"], "--payload", stored, "-o", linked],
                       check=True, capture_output=True)
        with open(linked, "rb") as f:
            made.append((f"truncated {where}: {kept} of {len(base.stored)} bytes", f.read(), allowed))
    return made


class Tally:
    def __init__(self):
        self.counts = {config: collections.Counter() for config in CONFIGS}
        self.failures = []

    def add(self, config, case_id, description, label, allowed, result, forbid_altered):
        self.counts[config][label] += 1
        if allowed is not None:
            bad = label not in allowed
        else:
            bad = label in outcomes.FAILURES or (forbid_altered and label.startswith("altered"))
        if bad:
            self.failures.append((config, case_id, description, label, allowed, result))
        return bad


def describe(result):
    return (f"exit {common.hex32(result['exit'])}, {result['processes']} processes {result['exits']}, "
            f"{result['ms']} ms, out {result['out'][:200]!r}, err {result['err'][:200]!r}, "
            f"left {result['left'][:5]}")


def run(conf, seed, cases, parallel, timeout_ms, only=None, configs=CONFIGS, batch=100, malformed=True,
        progress=None):
    """Runs `cases` mutation cases per configuration (and the malformed
    streams once per configuration). Returns the tally."""
    tally = Tally()
    roomy = Base(conf, "campaign_roomy", like=Base(conf, "campaign_plain"))
    work = common.fresh_folder(os.path.join(conf.work, "campaign"))
    kept = os.path.join(conf.work, "campaign-failures")
    for config in configs:
        base = Base(conf, f"campaign_{config}")
        expected = payload.expected_report(open(os.path.join(conf.folder, f"campaign_{config}.stream"), "rb").read())
        forbid_altered = base.layout.has_checksum
        pending = []  # (case id, description, image, allowed, expected files, may leave its folder)
        if malformed and only is None:
            for i, (description, image, allowed, files) in enumerate(
                    build_malformed(conf, roomy, work, forbid_altered)):
                pending.append((f"{config}-m{i}", description, image, allowed, files, True))
            for i, (description, image, allowed) in enumerate(build_truncated(conf, base, work)):
                pending.append((f"{config}-t{i}", description, image, allowed, expected, TRUNCATED_MAY_LEAVE_FOLDER))
        indices = [only] if only is not None else range(cases)
        for index in indices:
            description, image, allowed = mutation(seed, config, index, base, roomy)
            pending.append((f"{config}-{index}", description, image, allowed, expected, True))
            if len(pending) >= batch:
                run_batch(conf, work, kept, config, pending, parallel, timeout_ms, tally, forbid_altered)
                pending = []
                if progress:
                    progress(config, index + 1, cases, tally)
        if pending:
            run_batch(conf, work, kept, config, pending, parallel, timeout_ms, tally, forbid_altered)
    return tally


def run_batch(conf, work, kept, config, pending, parallel, timeout_ms, tally, forbid_altered):
    cases = []
    for case_id, description, image, allowed, files, may_leave_folder in pending:
        path = os.path.join(work, f"{case_id}.exe")
        with open(path, "wb") as f:
            f.write(image)
        cases.append([("id", case_id), ("exe", conf.windows_path(path))])
    results = common.run_cases(conf, cases, parallel=parallel, timeout_ms=timeout_ms,
                               work=os.path.join(work, "runs"))
    for case_id, description, image, allowed, files, may_leave_folder in pending:
        result = results[case_id]
        report = result["report"].decode("utf-8", "replace")
        label = outcomes.outcome(result, files, files=payload.reported_files(report))
        if not may_leave_folder and result["left"]:
            label = "left behind"
        path = os.path.join(work, f"{case_id}.exe")
        if tally.add(config, case_id, description, label, allowed, result, forbid_altered):
            os.makedirs(kept, exist_ok=True)
            shutil.move(path, os.path.join(kept, f"{case_id}.exe"))
        else:
            os.remove(path)


def print_counts(tally, out):
    for config, counts in tally.counts.items():
        if not counts:
            continue
        total = sum(counts.values())
        out.write(f"{config} frame ({'with' if config == 'checksum' else 'without'} checksum): {total} cases\n")
        for label, count in sorted(counts.items(), key=lambda item: (-item[1], item[0])):
            out.write(f"  {count:6d}  {label}\n")
