"""Where this launcher's time goes: the packed launcher's very payload
linked again with the bench's phase hooks (phase_hooks.cpp), which note the
time of each phase and count the parent's calls."""
import statistics
import subprocess

from measuring import run_subject
from packing import link_command

# label, from mark, to mark
PHASES = [("to launcher_main", "start", "launcher_main"),
          ("role, template, reader set-up", "launcher_main", "first_file_opened"),
          ("extraction", "first_file_opened", "last_file_closed"),
          ("to CreateProcessW", "last_file_closed", "create_process_called"),
          ("inside CreateProcessW", "create_process_called", "create_process_returned"),
          ("child: CreateProcessW to its launcher_main", "create_process_called", "child_launcher_main"),
          ("child: launcher_main to run_code", "child_launcher_main", "entered"),
          ("application runs, child ends", "entered", "wait_returned"),
          ("clean-up and exit", "wait_returned", "end")]
PHASE_COUNTERS = ["CreateFileW", "WriteFile", "CreateDirectoryW", "GetFileAttributesW", "Sleep", "DeleteFileW",
                  "RemoveDirectoryW", "FindNextFileW", "SetFileAttributesW"]


def pack_phases(build, ours, layout, out):
    """OURS linked again around its own payload (where LAYOUT says it lies),
    with the phase hooks."""
    hooks = build / "win" / "bench" / "startup" / "phase_hooks.obj"
    stored = out.with_suffix(".stored")
    with open(ours, "rb") as f:
        f.seek(layout["payload_offset"])
        stored.write_bytes(f.read(layout["payload_size"]))
    subprocess.run(link_command(build, stored, out, hooks), check=True)
    stored.unlink()
    return out


def measure_phases(wine, build, exe, runs):
    """Phase durations (s) of the parent, from the hooks' marks and the
    driver's clock, and the parent's call counts: medians of RUNS runs after
    a warm-up."""
    phases_file = build / "bench" / "work" / "phases.txt"
    rows = []
    for _ in range(runs + 1):
        phases_file.unlink(missing_ok=True)
        figures = run_subject(wine, build, [wine.windows_path(exe)],
                              extra_env={"TARVEK_BENCH_PHASES": wine.windows_path(phases_file)})
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
