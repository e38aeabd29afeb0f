"""The synthetic applications: made deterministically from a seed, kept
between runs while their recipe stays the same."""
import hashlib
import json
import os
import random
import shutil
from pathlib import Path

from progress import say

# name: files, bytes (10^6-byte megabytes)
SIZES = {
    "small": (20, 5_000_000),
    "medium": (500, 100_000_000),
    "large": (2000, 300_000_000),
}
GENERATOR_VERSION = 1


def size_title(name):
    files, total = SIZES[name]
    return f"{files} files / {total // 10**6} MB"


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
    fresh_app(directory, main_dll)
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


def fresh_app(directory, main_dll):
    """A new application folder that holds main.dll alone."""
    if directory.exists():
        shutil.rmtree(directory)
    directory.mkdir(parents=True)
    shutil.copyfile(main_dll, directory / "main.dll")


def file_digest(path):
    return hashlib.sha256(Path(path).read_bytes()).hexdigest()


def ensure_app(work, name, seed, main_dll):
    """The application of that size, made unless the one of the same recipe
    is there; with its recipe, which keys what is packed from it."""
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


# The program's name in an application packed with --run.
RUN_PROGRAM = "bench_program.exe"


def ensure_run_app(work, name, app, app_key, program):
    """The application of that size as an ordinary program: the same files
    (hard links) with the program instead of main.dll, for a launcher packed
    with --run. Made again when the application or the program changed."""
    directory = work / "apps" / f"{name}-run"
    marker = work / "apps" / f"{name}-run.json"
    wanted = dict(app_key, program=file_digest(program))
    if marker.exists() and json.loads(marker.read_text()) == wanted and directory.exists():
        return directory
    if directory.exists():
        shutil.rmtree(directory)
    for source in sorted(app.rglob("*")):
        relative = source.relative_to(app)
        if source.is_file() and relative != Path("main.dll"):
            (directory / relative).parent.mkdir(parents=True, exist_ok=True)
            os.link(source, directory / relative)
    directory.mkdir(parents=True, exist_ok=True)
    shutil.copyfile(program, directory / RUN_PROGRAM)
    marker.write_text(json.dumps(wanted))
    return directory
