"""Configuration, paths as Windows sees them, and running cases through the
Windows-side runner."""
import json
import os
import re
import shutil
import sys
import time

import wine


class Conf:
    """The key=value lines that the build writes to reliability.conf."""

    def __init__(self, path):
        self.values = {}
        with open(path, encoding="utf-8") as f:
            for line in f:
                line = line.rstrip("\n")
                if "=" in line:
                    key, value = line.split("=", 1)
                    self.values[key] = value
        self.folder = self.values["folder"]
        self.work = os.path.join(self.folder, "work")
        # Every Windows program runs through it (tools/wine.py).
        self.wine = wine.Wine(self["build_root"], self.work, prefix=self["wine_prefix"], wine64=self["wine"],
                              drive=self["build_drive"])
        self.windows_path = self.wine.windows_path

    def __getitem__(self, key):
        return self.values[key]


def fresh_folder(path):
    """An empty folder at path (below the build folder)."""
    if os.path.lexists(path):
        shutil.rmtree(path)
    os.makedirs(path)
    return path


def case_line(fields):
    """One case for the runner: a list of (key, value) pairs."""
    parts = []
    for key, value in fields:
        text = f"{key}={value}"
        if "\t" in text or "\n" in text:
            raise ValueError(f"case field with a tab or line end: {text!r}")
        parts.append(text)
    return "\t".join(parts)


def run_cases(conf, cases, parallel=1, timeout_ms=30000, work=None):
    """Runs the cases (lists of (key, value) pairs) and returns their results
    by id, each a dict as the runner wrote it."""
    work = work or fresh_folder(os.path.join(conf.work, "runner"))
    os.makedirs(work, exist_ok=True)
    case_file = os.path.join(work, "cases.txt")
    result_file = os.path.join(work, "results.jsonl")
    with open(case_file, "w", encoding="utf-8") as f:
        for case in cases:
            f.write(case_line(case) + "\n")
    if os.path.exists(result_file):
        os.remove(result_file)
    done = conf.wine.run(conf["runner"], conf.windows_path(case_file), conf.windows_path(result_file),
                     conf.windows_path(work), "--parallel", str(parallel), "--timeout", str(timeout_ms),
                     check=False)
    if done.returncode != 0:
        sys.stderr.write(done.stderr.decode("utf-8", "replace"))
        raise RuntimeError(f"the runner failed with {done.returncode}")
    results = read_results(result_file)
    missing = [dict(case)["id"] for case in cases if dict(case)["id"] not in results]
    if missing:
        raise RuntimeError(f"the runner gave no result for {missing[:5]}")
    return results


def read_results(path):
    """The runner's results by case id."""
    results = {}
    if not os.path.exists(path):
        return results
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.strip():
                result = json.loads(line)
                # The runner passes what the processes wrote byte for byte.
                for key in ("out", "err", "report"):
                    result[key] = result[key].encode("latin-1")
                results[result["id"]] = result
    return results


def parse_report_text(report):
    """key -> value (the first of each key) of a probe report, %HHHH undone."""
    values = {}
    text = report.decode("utf-8", "replace") if isinstance(report, bytes) else report
    for line in text.splitlines():
        if "=" in line:
            key, value = line.split("=", 1)
            units = re.sub(r"%([0-9A-F]{4})", lambda m: chr(int(m.group(1), 16)), value)
            # Pairs of surrogates, one escape each, back into characters.
            values.setdefault(key, units.encode("utf-16-le", "surrogatepass").decode("utf-16-le", "replace"))
    return values


def parse_probe_report(path):
    if not os.path.exists(path):
        return {}
    with open(path, "rb") as f:
        return parse_report_text(f.read())


def hex32(code):
    return f"0x{code:08X}"


class Clock:
    def __init__(self):
        self.start = time.monotonic()

    def seconds(self):
        return time.monotonic() - self.start
