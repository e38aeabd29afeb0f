"""Launchers whose processes cannot read each other. Under a tracer
(`strace -f` on Wine) a process cannot read another's memory, so a child
cannot read its parent's module name; security software may deny even more.
A child that took the parent role then would start a child of its own, and
so on without end; the role decision must fall back to what it can read."""
import os
import shutil
import subprocess

from . import common

SKIPPED = 77


def strace_works():
    if not shutil.which("strace"):
        return False
    return subprocess.run(["strace", "-f", "-qq", "-o", "/dev/null", "true"], capture_output=True).returncode == 0


def traced(conf, log, *arguments, timeout=None):
    """Runs a Windows program under strace -f; execve calls go to `log`."""
    return conf.wine.run(*arguments, check=False, timeout=timeout,
                         through=["strace", "-f", "-qq", "-s", "4096", "-e", "trace=execve", "-o", log])


def launcher_processes(log, name):
    """Distinct processes that started the Windows program `name`, from the
    log. Each tries the preloader and then execs wine64; a call that other
    processes interrupt is logged as unfinished and resumed later, so the
    result is not looked at."""
    pids = set()
    with open(log, errors="replace") as f:
        for line in f:
            if "execve(" in line and name in line:
                pids.add(line.split()[0])
    return len(pids)


def check(conf, out, cases=("plain", "relaunch")):
    """Returns 0 when the launcher under strace behaves as without it, 1 when
    not, SKIPPED when strace cannot run or hides nothing here."""
    if not strace_works():
        out.write("skipped: strace is missing or may not trace here\n")
        return SKIPPED
    work = common.fresh_folder(os.path.join(conf.work, "relaunch"))
    failures = []

    # Proof that the tracer hides the module name: the fallback is what runs.
    log = os.path.join(work, "role.strace")
    done = traced(conf, log, conf["role_tests"], "--scenario", "read_image_of_started_process", timeout=300)
    seen = done.stdout.decode("utf-8", "replace").split("\r\n")
    out.write(f"under strace, a process reads another's image path by: {seen[0]}\n")
    if seen[0] == "module_name":
        out.write("skipped: the tracer does not hide the module name here, nothing to prove\n")
        return SKIPPED
    if seen[0] != "image_name":
        failures.append(f"the image name of a traced process could not be read either: {seen}")

    probe = conf.windows_path(conf["probe_launcher"])
    runner_cases = [
        [("id", "plain"), ("exe", probe), ("set", "TARVEK_PROBE_ACTIONS=exit:7"), ("timeout", "120000")],
        [("id", "relaunch"), ("exe", probe), ("set", "TARVEK_PROBE_ACTIONS=relaunch;exit:9"),
         ("timeout", "120000")],
    ]
    case_file = os.path.join(work, "cases.txt")
    result_file = os.path.join(work, "results.jsonl")
    with open(case_file, "w", encoding="utf-8") as f:
        for case in runner_cases:
            f.write(common.case_line(case) + "\n")
    log = os.path.join(work, "launcher.strace")
    clock = common.Clock()
    traced(conf, log, conf["runner"], conf.windows_path(case_file), conf.windows_path(result_file),
           conf.windows_path(work), timeout=600)
    results = common.read_results(result_file)
    started = launcher_processes(log, os.path.basename(conf["probe_launcher"]))
    out.write(f"under strace -f: {started} launcher processes in {clock.seconds():.0f} s\n")

    plain = results["plain"]
    out.write(f"  a run: exit {plain['exit']}, {plain['processes']} processes, {plain['ms']} ms, "
              f"left {len(plain['left'])} entries\n")
    if plain["timed_out"] or plain["processes"] != 2 or plain["exit"] != 7 or plain["left"]:
        failures.append(f"a run under strace: {plain}")

    again = results["relaunch"]
    relaunched = common.parse_probe_report(os.path.join(work, "relaunch.report.relaunch"))
    first = common.parse_report_text(again["report"])
    out.write(f"  a run whose application starts the launcher again: exit {again['exit']}, "
              f"{again['processes']} processes, relaunch exit {first.get('relaunch.exit')}, "
              f"same folder: {relaunched.get('library') == first.get('library')}\n")
    if (again["timed_out"] or again["processes"] != 3 or again["exit"] != 9 or again["left"]
            or first.get("relaunch.exit") != "0" or relaunched.get("library") != first.get("library")):
        failures.append(f"a relaunch under strace: {again}, relaunched {relaunched}")
    if started != 5:
        failures.append(f"{started} launcher processes started, not 2 + 3")
    for failure in failures:
        out.write(f"FAIL {failure}\n")
    return 1 if failures else 0


def denied(conf, out):
    """Every launcher process made unreadable for the others by its DACL, as
    it appears: the module name denied, or everything."""
    probe = conf.windows_path(conf["probe_launcher"])
    cases = []
    for deny in ("memory", "all"):
        cases.append([("id", f"{deny}-plain"), ("exe", probe), ("deny", deny),
                      ("set", "TARVEK_PROBE_ACTIONS=exit:7"), ("timeout", "60000")])
        cases.append([("id", f"{deny}-relaunch"), ("exe", probe), ("deny", deny),
                      ("set", "TARVEK_PROBE_ACTIONS=relaunch;exit:9"), ("timeout", "60000")])
    work = common.fresh_folder(os.path.join(conf.work, "denied"))
    results = common.run_cases(conf, cases, parallel=2, work=work)
    failures = []
    # Where only the module name is denied, the image name decides as before:
    # a launcher started by the application is a child. Where everything is
    # denied, that one becomes a parent of its own; never more.
    expected_relaunch_processes = {"memory": 3, "all": 4}
    for deny in ("memory", "all"):
        plain = results[f"{deny}-plain"]
        out.write(f"access denied ({deny}): a run: exit {plain['exit']}, {plain['processes']} processes, "
                  f"left {len(plain['left'])} entries\n")
        if plain["timed_out"] or plain["processes"] != 2 or plain["exit"] != 7 or plain["left"]:
            failures.append(f"a run, access denied ({deny}): {plain}")
        again = results[f"{deny}-relaunch"]
        first = common.parse_report_text(again["report"])
        relaunched = common.parse_probe_report(os.path.join(work, f"{deny}-relaunch.report.relaunch"))
        same = relaunched.get("library") == first.get("library")
        out.write(f"access denied ({deny}): the application starts the launcher again: exit {again['exit']}, "
                  f"{again['processes']} processes, relaunch exit {first.get('relaunch.exit')}, "
                  f"same folder: {same}\n")
        if (again["timed_out"] or again["processes"] != expected_relaunch_processes[deny] or again["exit"] != 9
                or again["left"] or first.get("relaunch.exit") != "0" or same != (deny == "memory")):
            failures.append(f"a relaunch, access denied ({deny}): {again}, relaunched {relaunched}")
    for failure in failures:
        out.write(f"FAIL {failure}\n")
    return 1 if failures else 0
