"""What the bench runs: the subjects, their labels and command lines."""

SUBJECTS = ["floor", "ours", "ours_run", "peer", "limit_decode", "limit_write", "limit_remove"]
# Subjects for looking into a gap, run only when named in --subjects.
EXTRA_SUBJECTS = ["limit_write_32k", "empty", "empty_shell32"]
LABELS = {
    "floor": "floor: application run directly",
    "ours": "this launcher",
    "ours_run": "this launcher, --run (the application as a program)",
    "peer": "peer: NSIS solid LZMA",
    "limit_decode": "limit: decode only",
    "limit_write": "limit: decode and write",
    "limit_remove": "limit: decode, write, remove",
    "limit_write_32k": "limit: decode and write, 32 KiB per WriteFile",
    "empty": "an empty windowed program",
    "empty_shell32": "an empty windowed program that loads shell32",
}


def commands(wine, build, work, name, app, layout):
    """Each subject's command line for the size NAME, as Windows programs
    see it; the limit decodes the payload of this launcher where LAYOUT
    (payload_layout) says it lies."""
    def program(stem):
        return wine.windows_path(build / "win" / "bench" / "startup" / f"{stem}.exe")

    ours = wine.windows_path(work / "packed" / f"{name}.exe")
    payload = [ours, str(layout["payload_offset"]), str(layout["payload_size"])]
    return {
        "floor": [program("bench_host"), wine.windows_path(app / "main.dll")],
        "ours": [ours],
        "ours_run": [wine.windows_path(work / "packed" / f"{name}-run.exe")],
        "peer": [wine.windows_path(work / "packed" / f"{name}-nsis.exe")],
        "limit_decode": [program("bench_limit"), "decode", *payload],
        "limit_write": [program("bench_limit"), "write", *payload],
        "limit_remove": [program("bench_limit"), "remove", *payload],
        "limit_write_32k": [program("bench_limit"), "write-32k", *payload],
        "empty": [program("bench_empty")],
        "empty_shell32": [program("bench_empty_shell32")],
    }
