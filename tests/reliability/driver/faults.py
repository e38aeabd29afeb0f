"""Faults from outside a run, each with the outcome it must have: TEMP that
cannot be used, a full disk, a command line too long for the child, a file
held open at clean-up, the child or the parent ended from outside, Ctrl-C in
a shared console."""
import contextlib
import os
import subprocess

from . import common, outcomes

STATUS_CONTROL_C_EXIT = 0xC000013A
ACCESS_VIOLATION = 0xC0000005
KILLED_CHILD_CODE = 0xBAD  # what the runner ends a child with


@contextlib.contextmanager
def wine_drive(conf, letter, size_kib, read_only=False):
    """A small file system (tmpfs under the build folder) as Wine drive
    LETTER: for the test that needs it only; yields the drive, or None where
    nothing can be mounted. The prefix is fenced again afterwards: the link
    and the mount go."""
    if os.geteuid() != 0:
        yield None
        return
    mount_point = os.path.join(conf.work, f"drive_{letter}")
    link = os.path.join(conf["wine_prefix"], "dosdevices", f"{letter}:")
    os.makedirs(mount_point, exist_ok=True)
    options = f"size={size_kib}k" + (",ro" if read_only else "")
    if subprocess.run(["mount", "-t", "tmpfs", "-o", options, "tmpfs", mount_point],
                      capture_output=True).returncode != 0:
        os.rmdir(mount_point)
        yield None
        return
    try:
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(mount_point, link)
        yield f"{letter.upper()}:"
    finally:
        if os.path.lexists(link):
            os.remove(link)
        subprocess.run(["umount", mount_point], capture_output=True)
        os.rmdir(mount_point)


def probe_case(conf, case_id, actions, *fields):
    return [("id", case_id), ("exe", conf.windows_path(conf["probe_launcher"])),
            ("set", f"TARVEK_PROBE_ACTIONS={actions}"), *fields]


def given_temp(path):
    return [("temp", "given"), ("set", f"TEMP={path}"), ("set", f"TMP={path}")]


def summary(result):
    label = outcomes.error_label(result) if result["exit"] == 2 else None
    text = f"exit {common.hex32(result['exit'])}"
    if label:
        text += f" ({label})"
    text += f", {result['processes']} processes"
    if result["left"]:
        text += f", left {len(result['left'])} entries"
    else:
        text += ", nothing left"
    if result["child_outlived_parent"]:
        text += ", child outlived the parent by 10 s"
    if result["child_end_ms"] is not None:
        text += f", child ended {result['child_end_ms']} ms after the parent"
    if not result["canaries_intact"]:
        text += ", CANARIES TOUCHED"
    return text


def run(conf, out):
    """Runs every fault; returns the number of faults whose outcome was not
    the one expected."""
    work = common.fresh_folder(os.path.join(conf.work, "faults"))
    report = []  # (fault, observed, ok)

    def judge(name, result, ok, note=""):
        observed = summary(result) + (f"; {note}" if note else "")
        ok = ok and result["canaries_intact"] and not result["timed_out"]
        report.append((name, observed, ok))

    # Folders for TEMP, made from the host.
    read_only_folder = os.path.join(work, "read-only attribute")
    os.makedirs(read_only_folder)
    a_file = os.path.join(work, "a file")
    with open(a_file, "w") as f:
        f.write("TEMP names this file\n")
    missing = os.path.join(work, "missing", "below")
    home = "C:\\users\\root"

    cases = [
        probe_case(conf, "temp-attribute", "exit:5", *given_temp(conf.windows_path(read_only_folder))),
        probe_case(conf, "temp-missing", "exit:5", *given_temp(conf.windows_path(missing)),
                   ("watch", conf.windows_path(os.path.dirname(missing)))),
        probe_case(conf, "temp-unset", "exit:5", ("temp", "given"), ("unset", "TEMP"), ("unset", "TMP"),
                   ("watch", home)),
        probe_case(conf, "temp-file", "exit:5", *given_temp(conf.windows_path(a_file)),
                   ("watch", conf.windows_path(work))),
        probe_case(conf, "hold-short", "sleep:1500", ("hold", "data\\readme.txt@700")),
        probe_case(conf, "hold-long", "sleep:1500", ("hold", "data\\readme.txt@6000")),
        probe_case(conf, "crash", "crash"),
        probe_case(conf, "kill-child", "sleep:10000", ("kill", "child@1500")),
        probe_case(conf, "kill-parent", "sleep:20000", ("kill", "parent@2500")),
        # The child's command line is the launcher's full path and the
        # arguments: longer than the 32767 units a line may have, where the
        # parent's own line, with a short element 0, is not.
        probe_case(conf, "long-line", "exit:5", ("argv0", "l"), ("arg", "x" * 32760)),
    ]
    # The read-only attribute is set from Windows: the host has no such thing.
    setup = conf.wine.run("cmd.exe", "/c", "attrib", "+r", conf.windows_path(read_only_folder), check=False)
    results = common.run_cases(conf, cases, parallel=2, timeout_ms=60000, work=os.path.join(work, "runs"))

    r = results["temp-attribute"]
    judge("TEMP with the read-only attribute (Windows ignores it on folders)", r,
          r["exit"] == 5 and not r["left"] and setup.returncode == 0)
    r = results["temp-missing"]
    created = os.path.isdir(missing) and not os.listdir(missing)
    judge("TEMP names a folder that does not exist", r, r["exit"] == 5 and not r["left"] and created,
          "the missing folders are made on the way to the target folder and stay, empty")
    r = results["temp-unset"]
    where = common.parse_report_text(r["report"]).get("library", "?")
    judge("TEMP and TMP unset", r, r["exit"] == 5 and not r["left"],
          f"the target folder went to {where.rsplit(chr(92), 2)[0]}")
    r = results["temp-file"]
    judge("TEMP names a file", r, r["exit"] == 2 and outcomes.error_label(r) == "error: target directory"
          and not r["left"])
    r = results["hold-short"]
    judge("a file held open at clean-up, released within the retries", r, r["exit"] == 0 and not r["left"])
    r = results["hold-long"]
    judge("a file held open at clean-up, longer than the retries (a limit)", r,
          r["exit"] == 0 and any(entry.endswith("readme.txt") for entry in r["left"]),
          "the folder stays with the held file")
    r = results["crash"]
    judge("the application crashes (an access violation)", r,
          r["exit"] == ACCESS_VIOLATION and r["processes"] == 2 and not r["left"] and not r["out"] and not r["err"],
          "the parent returns the exception code and cleans up; no crash debugger starts")
    r = results["kill-child"]
    judge("the child ended from outside", r, r["exit"] == KILLED_CHILD_CODE and not r["left"],
          "the parent returns the child's exit code and cleans up")
    r = results["kill-parent"]
    judge("the parent ended from outside", r,
          r["child_outlived_parent"] is False and r["child_end_ms"] is not None and bool(r["left"]),
          "the job ends the child; the folder stays until the next run in that TEMP takes it "
          "(CleanupTests: LeftoverSweep)")
    r = results["long-line"]
    judge("a command line too long for the child", r,
          r["exit"] == 2 and outcomes.error_label(r) == "error: command line too long" and r["processes"] == 1
          and not r["left"], "refused before anything is written")

    # Ctrl-C needs a console of the runner's own, shared with nothing else.
    r = common.run_cases(conf, [probe_case(conf, "ctrl-c", "sleep:10000", ("ctrlc", "1500"))], timeout_ms=60000,
                         work=os.path.join(work, "console"))["ctrl-c"]
    # Wine's default handling ends a process with 0, Windows' with
    # STATUS_CONTROL_C_EXIT; the probe would have slept for 10 s.
    judge("Ctrl-C in the console the launcher shares", r,
          r["exit"] in (0, STATUS_CONTROL_C_EXIT) and not r["left"] and r["processes"] == 2 and r["ms"] < 8000,
          f"ended {r['ms']} ms after the start instead of 10 s: the child ends on the event, the parent "
          "removes the folder")

    # A full disk and a read-only one, as small file systems mapped as drives.
    with wine_drive(conf, "r", 128) as drive:
        if drive is None:
            report.append(("a full disk", "skipped: no small file system can be mounted here", True))
        else:
            r = common.run_cases(conf, [probe_case(conf, "disk-full", "exit:5", *given_temp(drive + "\\"),
                                                   ("watch", drive + "\\"))],
                                 timeout_ms=60000, work=os.path.join(work, "disk"))["disk-full"]
            judge("a full disk (128 KiB)", r,
                  r["exit"] == 2 and outcomes.error_label(r) == "error: unpack" and not r["left"],
                  "the partly filled folder goes, as after every failure exit")
    with wine_drive(conf, "s", 64, read_only=True) as drive:
        if drive is None:
            report.append(("a read-only disk", "skipped: no small file system can be mounted here", True))
        else:
            r = common.run_cases(conf, [probe_case(conf, "disk-ro", "exit:5", *given_temp(drive + "\\"),
                                                   ("watch", drive + "\\"))],
                                 timeout_ms=60000, work=os.path.join(work, "disk"))["disk-ro"]
            judge("TEMP on a read-only disk", r,
                  r["exit"] == 2 and outcomes.error_label(r) == "error: target directory" and not r["left"])

    width = max(len(name) for name, _, _ in report)
    for name, observed, ok in report:
        out.write(f"{'ok  ' if ok else 'FAIL'} {name:<{width}}  {observed}\n")
    return sum(1 for _, _, ok in report if not ok)
