"""The Markdown table of every figure: bench/results/startup.md."""
from apps import size_title
from figures import mib, seconds_cell
from goals import goal_lines
from phases import PHASE_COUNTERS, PHASES
from subjects import EXTRA_SUBJECTS, LABELS, SUBJECTS


def write_table(results, names, meta, out):
    subjects = [s for s in SUBJECTS + EXTRA_SUBJECTS if any(s in results[n]["times"] for n in names)]
    lines = ["# Start-up and total cost: this launcher, the floor, the limit, a peer", "",
             f"Taken {meta['date']} on {meta['machine']}.", "",
             f"Load average (1, 5, 15 min) at the start: {meta['load_start']}; at the end: {meta['load_end']}. "
             f"{meta['load_note']}", "",
             f"Launcher: {meta['commit']}; packed with {meta['pack_tool']} (default options). "
             f"Seconds, median (min–max) of {meta['runs']} runs after a warm-up run (3 for subjects whose "
             "warm-up took over 4 s). Start-up: from just before `CreateProcessW` until the main library's "
             "`run_code` is entered; total: until the process has ended. For the limit, which runs no "
             "application, only the total counts.", ""]
    header = "| subject | " + " | ".join(f"{n}: {size_title(n)}" for n in names) + " |"
    rule = "|---|" + "---:|" * len(names)
    for key, title in (("startup_s", "Start-up latency (s)"), ("total_s", "Total (s)")):
        lines += [f"## {title}", "", header, rule]
        for subject in subjects:
            cells = [seconds_cell(results[n]["times"].get(subject, {}).get(key)) for n in names]
            if key == "startup_s" and all(c == "–" for c in cells):
                continue
            lines.append(f"| {LABELS[subject]} | " + " | ".join(cells) + " |")
        lines.append("")
    lines += ["## The application's own start", "",
              "The process that runs the main library, from its creation to `run_code` (s): for this "
              "launcher its child, for the peer and the floor the host executable; with --run the program "
              "the child starts, from its creation to its entry.", "", header, rule]
    for subject in ("floor", "ours", "ours_run", "peer"):
        if subject in subjects:
            cells = [seconds_cell(results[n]["times"].get(subject, {}).get("own_start_s")) for n in names]
            lines.append(f"| {LABELS[subject]} | " + " | ".join(cells) + " |")
    lines += ["", "## Memory (MiB, one sampled run)", "",
              "Parent: the started process, sampled every millisecond: peak working set, and the largest "
              "private size seen (under Wine the private bytes are the anonymous resident pages; they stand "
              "for the commit). Child: the process that runs the main library, at `run_code`: peak working "
              "set and committed private memory.", "",
              "| subject | figure | " + " | ".join(names) + " |", "|---|---|" + "---:|" * len(names)]
    for subject in subjects:
        for key, label in (("parent_peak_working_set", "parent peak working set"),
                           ("parent_peak_private", "parent peak private"),
                           ("child_peak_working_set", "child peak working set"),
                           ("child_private_commit", "child private commit")):
            if key.startswith("child") and subject == "floor":
                continue
            cells = [mib(results[n]["memory"].get(subject, {}).get(key)) for n in names]
            if all(c == "–" for c in cells):
                continue
            lines.append(f"| {LABELS[subject]} | {label} | " + " | ".join(cells) + " |")
    lines += ["", "## Sizes and pack time", "",
              "| | " + " | ".join(names) + " |", "|---|" + "---:|" * len(names)]
    rows = [("application (MB)", lambda r: f"{r['app_bytes'] / 1e6:.1f}"),
            ("this launcher, packed (MB)", lambda r: f"{r['ours_bytes'] / 1e6:.1f}"),
            ("this launcher with --run, packed (MB)",
             lambda r: f"{r['ours_run_bytes'] / 1e6:.1f}" if r.get("ours_run_bytes") else "–"),
            ("peer, packed (MB)", lambda r: f"{r['peer_bytes'] / 1e6:.1f}" if r.get("peer_bytes") else "–"),
            ("frame window (MiB)", lambda r: mib(r.get("window"))),
            ("pack time, this launcher (s)", lambda r: f"{r['ours_pack_s']:.1f}"),
            ("pack time, this launcher with --run (s)",
             lambda r: f"{r['ours_run_pack_s']:.1f}" if r.get("ours_run_pack_s") else "–"),
            ("pack time, peer (s)", lambda r: f"{r['peer_pack_s']:.1f}" if r.get("peer_pack_s") else "–")]
    for label, cell in rows:
        lines.append(f"| {label} | " + " | ".join(cell(results[n]) for n in names) + " |")
    lines += ["", f"Launcher around the smallest application (main.dll alone, {meta['tiny_app_bytes']} bytes): "
              f"{meta['tiny_ours_bytes']} bytes; the peer around the same: {meta.get('tiny_peer_bytes', '–')} bytes.",
              "", "## Goals", "", "| goal | measured | |", "|---|---:|---|"]
    lines += goal_lines(results, names)
    timed = [n for n in names if results[n].get("phases")]
    if timed:
        lines += ["", "## Where this launcher's time goes", "",
                  "The same launcher linked with `bench/startup/phase_hooks.cpp`, whose hooks on a few system "
                  "calls note the time of each phase (seconds, median of 3 runs after a warm-up) and count the "
                  "parent's calls.", "",
                  "| phase | " + " | ".join(f"{n}, as packed" for n in timed) + " |",
                  "|---|" + "---:|" * len(timed)]
        for key in [label for label, _, _ in PHASES] + ["inside WriteFile"]:
            lines.append(f"| {key} | " + " | ".join(f"{results[n]['phases'].get(key, 0):.3f}" for n in timed) + " |")
        for key in PHASE_COUNTERS:
            lines.append(f"| calls: {key} | " + " | ".join(f"{results[n]['phases'].get(key, 0):.0f}"
                                                         for n in timed) + " |")
    leftover = meta.get("leftovers")
    lines += ["", f"Left in the prefix's temporary folder after the runs: {leftover or 'nothing'}.", ""]
    out.write_text("\n".join(lines))
