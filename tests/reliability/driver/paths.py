"""Awkward paths: the launcher in a folder with spaces and characters
outside the BMP; a TEMP that brings the target path to 260 units and
beyond, up to where the system no longer returns it."""
import os
import shutil

from . import common
from .faults import probe_case

# The probe application's longest entry, below the target folder.
LONGEST_ENTRY = "data\\nested\\deep\\values.bin"


def deep_folder(root_unix, root_windows_length, length):
    """A folder below root whose Windows path has `length` units; made."""
    path = root_unix
    have = root_windows_length
    i = 0
    while have < length:
        part = min(60, length - have - 1)
        if part < 1:
            # One unit short of a component: lengthen the last one instead.
            path = path + "x"
            have += 1
            continue
        path = os.path.join(path, f"{i % 10}" * part)
        have += 1 + part
        i += 1
    os.makedirs(path, exist_ok=True)
    return path


def run(conf, out):
    work = common.fresh_folder(os.path.join(conf.work, "paths"))
    failures = 0
    cases = []

    # The launcher in a folder with spaces and characters outside the BMP.
    folder = os.path.join(work, "dir with spaces \U0001F600 \U0001D11E \u4E2D")
    os.makedirs(folder)
    launcher = os.path.join(folder, "my launcher \U0001F600.exe")
    shutil.copyfile(conf["probe_launcher"], launcher)
    cases.append(probe_case(conf, "folder", "exit:5", ("exe", conf.windows_path(launcher))))

    # TEMP of growing length: the longest unpacked path crosses 260 units;
    # past about 260 units TEMP itself is more than the system returns.
    base = os.path.join(work, "t")
    os.makedirs(base)
    base_length = len(conf.windows_path(base))
    temps = {}
    for length in (180, 195, 198, 200, 205, 220, 240, 255, 258, 259, 260, 270, 1000):
        temp = deep_folder(base, base_length, length)
        temps[length] = temp
        cases.append(probe_case(conf, f"temp{length}", "exit:5", ("temp", "given"),
                                ("set", f"TEMP={conf.windows_path(temp)}"), ("set", f"TMP={conf.windows_path(temp)}"),
                                ("watch", conf.windows_path(temp)), ("cwd", conf.windows_path(work))))
    # Near 4095 units: no such folder can even exist below the build folder.
    long_temp = conf.windows_path(work) + "\\" + "\\".join(["y" * 99] * 40)
    cases.append(probe_case(conf, "temp4000", "exit:5", ("temp", "given"), ("set", f"TEMP={long_temp}"),
                            ("set", f"TMP={long_temp}"), ("cwd", conf.windows_path(work))))
    # Where the system cannot return TEMP, the target folder goes to the root
    # of the current drive: the build drive here, watched for leftovers.
    results = common.run_cases(conf, cases, parallel=2, timeout_ms=60000, work=os.path.join(work, "runs"))
    drive_root = conf["build_root"]

    r = results["folder"]
    report = common.parse_report_text(r["report"])
    ok = (r["exit"] == 5 and not r["left"] and r["canaries_intact"]
          and report.get("argv.0") == conf.windows_path(launcher)
          and report.get("env.TARVEK_ONEFILE_DIRECTORY") == conf.windows_path(folder))
    out.write(f"{'ok  ' if ok else 'FAIL'} launcher in '{os.path.basename(folder)}': exit {r['exit']}, "
              f"argv[0] and TARVEK_ONEFILE_DIRECTORY {'as given' if ok else report}, "
              f"{'nothing' if not r['left'] else r['left']} left\n")
    failures += not ok

    for length in sorted(temps) + [4000]:
        r = results[f"temp{length}"]
        library = common.parse_report_text(r["report"]).get("library", "")
        target = library.rsplit("\\", 1)[0]
        longest = len(target) + 1 + len(LONGEST_ENTRY) if target else 0
        fell_back = bool(target) and target.count("\\") == 1
        left_at_root = [n for n in os.listdir(drive_root) if n.startswith("onefile_")]
        ok = r["exit"] == 5 and not r["left"] and r["canaries_intact"] and not left_at_root
        where = (f"the system returns no TEMP this long: target folder at the drive's root, {target}"
                 if fell_back else f"longest unpacked path {longest} units")
        out.write(f"{'ok  ' if ok else 'FAIL'} TEMP of {length} units: exit {r['exit']}, {where}, "
                  f"{'nothing' if not (r['left'] or left_at_root) else r['left'] + left_at_root} left\n")
        failures += not ok
    return failures
