"""Running the subjects under Wine through the bench's driver program
(bench_driver.exe), which times one run and prints its figures."""
import shutil
from pathlib import Path

import wine as wine_runner

LONG_RUN_S = 4.0


def run_subject(wine, build, command, memory=False, extra_env=None):
    """One run of a subject's command line: bench_driver's figures as
    numbers. A run that fails, or a subject that exits with anything but 0,
    ends the bench."""
    driver = wine.windows_path(build / "win" / "bench" / "startup" / "bench_driver.exe")
    stamp = wine.windows_path(build / "bench" / "work" / "stamp.txt")
    done = wine.run(driver, *(["--memory"] if memory else []), "--stamp", stamp, "--", *command, check=False,
                    env=extra_env)
    out = done.stdout.decode("utf-8", "replace")
    figures = {key: float(value) for key, value in wine_runner.key_values(out).items()}
    if done.returncode != 0 or figures.get("exit_code") != 0:
        raise RuntimeError(f"{' '.join(command)} failed: {out}{done.stderr.decode('utf-8', 'replace')}")
    return figures


def measure(wine, build, subject_commands, runs, subjects):
    """A warm-up run of each subject, then rounds that take each subject in
    turn, so that a change of load falls on all alike; subjects whose
    warm-up took over 4 s get 3 runs. Then one run with memory sampling."""
    samples = {s: [] for s in subjects}
    want = {}
    for subject in subjects:
        first = run_subject(wine, build, subject_commands[subject])
        remove_limit_output(wine)
        want[subject] = 3 if first["total_s"] > LONG_RUN_S else runs
    for round_index in range(max(want.values())):
        for subject in subjects:
            if round_index < want[subject]:
                samples[subject].append(run_subject(wine, build, subject_commands[subject]))
                remove_limit_output(wine)
    memory = {}
    for subject in subjects:
        memory[subject] = run_subject(wine, build, subject_commands[subject], memory=True)
        remove_limit_output(wine)
    return samples, memory


def temp_folders(wine):
    """The prefix's temporary folders, one per user."""
    users = Path(wine.prefix) / "drive_c" / "users"
    return [p / "AppData" / "Local" / "Temp" for p in users.iterdir()] if users.exists() else []


def leftovers(wine):
    """What the subjects left in the temporary folders."""
    found = []
    for temp in temp_folders(wine):
        if temp.exists():
            found += [p for p in temp.iterdir() if p.name.startswith(("onefile_", "limit_", "ns"))]
    return found


def remove_limit_output(wine):
    """The limit's write leaves its files, as nothing would remove them."""
    for temp in temp_folders(wine):
        if temp.exists():
            for p in temp.glob("limit_*"):
                shutil.rmtree(p)
