"""Load: many runs of one launcher in a row and at the same time, all with
one temporary folder: every run its own target folder, every exit code
right, and afterwards nothing named onefile_* in the temporary folder."""
import os
import statistics

from . import common
from .faults import probe_case


def run_many(conf, work, temp, count, parallel, tag):
    cases = [probe_case(conf, f"{tag}{i}", f"exit:{1000 + i}", ("temp", "given"),
                        ("set", f"TEMP={conf.windows_path(temp)}"), ("set", f"TMP={conf.windows_path(temp)}"))
             for i in range(count)]
    clock = common.Clock()
    results = common.run_cases(conf, cases, parallel=parallel, timeout_ms=120000,
                               work=os.path.join(work, f"runs-{tag}"))
    wall = clock.seconds()
    problems = []
    folders = set()
    for i in range(count):
        r = results[f"{tag}{i}"]
        library = common.parse_report_text(r["report"]).get("library")
        if r["exit"] != 1000 + i or r["timed_out"] or r["processes"] != 2 or not r["canaries_intact"]:
            problems.append(f"run {i}: exit {r['exit']}, {r['processes']} processes, timed out {r['timed_out']}")
        if library is None:
            problems.append(f"run {i}: no report")
        elif os.path.dirname(library.replace("\\", "/")) in folders:
            problems.append(f"run {i}: target folder {library} used twice")
        else:
            folders.add(os.path.dirname(library.replace("\\", "/")))
    left = [name for name in os.listdir(temp) if name.startswith("onefile_")]
    if left:
        problems.append(f"left in the temporary folder: {left[:5]}")
    ms = sorted(results[f"{tag}{i}"]["ms"] for i in range(count))
    figures = (f"{count} runs, {parallel} at a time: {wall:.1f} s in all; per run median {statistics.median(ms):.0f} ms, "
               f"95th percentile {ms[int(0.95 * (count - 1))]} ms, longest {ms[-1]} ms; {len(folders)} distinct "
               f"target folders, {count - sum(1 for p in problems if p.startswith('run'))} exit codes right, "
               f"{len(left)} onefile_* left")
    return figures, problems


def run(conf, out, serial, concurrent):
    work = common.fresh_folder(os.path.join(conf.work, "load"))
    temp = os.path.join(work, "temp")
    os.makedirs(temp)
    failures = 0
    for count, parallel, tag in ((serial, 1, "s"), (concurrent, concurrent, "c")):
        if count <= 0:
            continue
        figures, problems = run_many(conf, work, temp, count, parallel, tag)
        out.write(f"{'ok  ' if not problems else 'FAIL'} {figures}\n")
        for problem in problems[:10]:
            out.write(f"     {problem}\n")
        failures += bool(problems)
    return failures
