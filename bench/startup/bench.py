#!/usr/bin/python3
"""Start-up latency and total cost of a packed launcher, side by side with
the floor (the application run directly), the limit (a minimal decoder over
the same frame) and a peer (a silent NSIS self-extractor).

Run through ./tarvek bench, which sets up, builds, starts one wineserver and
then calls this script with --build. Writes a Markdown table, the raw figures
as JSON and a PNG plot to bench/results/ (or --out).
"""
import argparse
import datetime
import json
import subprocess
import sys
from pathlib import Path

# Nothing is written into the source tree but the figures.
sys.dont_write_bytecode = True
ROOT = Path(__file__).resolve().parents[2]
# The Wine runner (tools/wine.py) and the payload layout (bench/common).
sys.path[1:1] = [str(ROOT / "tools"), str(ROOT / "bench" / "common")]

import wine as wine_runner  # noqa: E402
from apps import RUN_PROGRAM, SIZES, ensure_app, ensure_run_app, fresh_app  # noqa: E402
from figures import seconds_cell, summary  # noqa: E402
from measuring import leftovers, measure  # noqa: E402
from packing import PACK_TOOL, ensure_peer, pack_ours, pack_peer  # noqa: E402
from payload_layout import payload_layout  # noqa: E402
from phases import measure_phases, pack_phases  # noqa: E402
from plot import write_plot  # noqa: E402
from progress import say  # noqa: E402
from readme_summary import summary_block, update_readme  # noqa: E402
from subjects import EXTRA_SUBJECTS, SUBJECTS, commands  # noqa: E402
from table import write_table  # noqa: E402


def arguments():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", type=Path, default=ROOT / "build", help="the build folder (default: build/)")
    parser.add_argument("--sizes", default="small,medium,large", help="comma-separated: small, medium, large")
    parser.add_argument("--subjects", default=",".join(SUBJECTS),
                        help="comma-separated: " + ", ".join(SUBJECTS + EXTRA_SUBJECTS))
    parser.add_argument("--runs", type=int, default=5, help="runs per subject, at least 5 (default 5)")
    parser.add_argument("--seed", type=int, default=10, help="seed of the synthetic applications")
    parser.add_argument("--out", type=Path, default=ROOT / "bench" / "results", help="where the results go")
    parser.add_argument("--no-phases", dest="phases", action="store_false",
                        help="skip the launcher linked with phase hooks (where its time goes)")
    parser.add_argument("--from-json", type=Path, help="only write the table, plot (and README) again from the "
                        "startup.json of an earlier run")
    parser.add_argument("--readme", action="store_true", help="also rewrite the summary in README.md")
    parser.add_argument("--load-note", default="", help="a sentence on what else ran on the machine")
    args = parser.parse_args()
    args.names = [n for n in args.sizes.split(",") if n]
    args.subject_list = [s for s in args.subjects.split(",") if s]
    if (any(n not in SIZES for n in args.names) or any(s not in SUBJECTS + EXTRA_SUBJECTS for s in args.subject_list)
            or args.runs < 1):
        parser.error("unknown size or subject, or no runs")
    return args


def main():
    args = arguments()
    if args.from_json:
        saved = json.loads(args.from_json.read_text())
        report(saved["results"], list(saved["results"]), saved["meta"], args)
        return
    build = args.build.resolve()
    work = build / "bench"
    for folder in ("apps", "packed", "work"):
        (work / folder).mkdir(parents=True, exist_ok=True)
    main_dll = build / "win" / "bench" / "startup" / "app" / "main.dll"
    if not main_dll.exists():
        sys.exit("bench: no bench/startup build in the build folder: run ./tarvek bench")
    wine = wine_runner.Wine(build, work / "work")
    own_server = wine.start_server()
    try:
        results, meta = run(args, build, work, main_dll, wine)
    finally:
        if own_server:
            wine.stop_server()
    report(results, args.names, meta, args)
    (args.out / "startup.partial.json").unlink(missing_ok=True)


def run(args, build, work, main_dll, wine):
    subjects = args.subject_list
    commit = subprocess.run(["git", "-C", str(ROOT), "log", "-1", "--format=%h %s"], capture_output=True,
                            text=True).stdout.strip()
    meta = {"date": datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC"),
            "machine": wine.machine(), "load_start": wine_runner.load_average(), "commit": commit,
            "runs": args.runs, "load_note": args.load_note, "pack_tool": PACK_TOOL}

    tiny = work / "apps" / "tiny"
    fresh_app(tiny, main_dll)
    pack_ours(build, tiny, work / "packed" / "tiny.exe")
    meta["tiny_app_bytes"] = main_dll.stat().st_size
    meta["tiny_ours_bytes"] = (work / "packed" / "tiny.exe").stat().st_size
    if "peer" in subjects:
        pack_peer(ROOT, build, tiny, work / "packed" / "tiny-nsis.exe", work)
        meta["tiny_peer_bytes"] = (work / "packed" / "tiny-nsis.exe").stat().st_size

    results = {}
    for name in args.names:
        app, app_key = ensure_app(work, name, args.seed, main_dll)
        record = {"app_bytes": sum(p.stat().st_size for p in app.rglob("*") if p.is_file())}
        say(f"packing the {name} application")
        ours = work / "packed" / f"{name}.exe"
        record["ours_pack_s"] = pack_ours(build, app, ours)
        record["ours_bytes"] = ours.stat().st_size
        layout = payload_layout(ours, build)
        record["window"] = layout["window_size"]
        if "ours_run" in subjects:
            program = build / "win" / "bench" / "startup" / RUN_PROGRAM
            run_app = ensure_run_app(work, name, app, app_key, program)
            run_launcher = work / "packed" / f"{name}-run.exe"
            record["ours_run_pack_s"] = pack_ours(build, run_app, run_launcher, "--run", RUN_PROGRAM)
            record["ours_run_bytes"] = run_launcher.stat().st_size
        if "peer" in subjects:
            peer, record["peer_pack_s"] = ensure_peer(ROOT, build, work, name, app, app_key)
            record["peer_bytes"] = peer.stat().st_size
        say(f"running the {name} subjects: {', '.join(subjects)}")
        samples, memory = measure(wine, build, commands(wine, build, work, name, app, layout), args.runs, subjects)
        record["times"] = {s: {k: summary([r.get(k) for r in runs])
                               for k in ("startup_s", "total_s", "own_start_s")}
                           for s, runs in samples.items()}
        record["memory"] = memory
        record["raw"] = samples
        if args.phases and "ours" in subjects:
            say(f"timing the phases of the {name} launcher")
            timed = pack_phases(build, ours, layout, work / "packed" / f"{name}-phases.exe")
            record["phases"] = measure_phases(wine, build, timed, 3)
        results[name] = record
        # Kept after every size, so that an interrupted run still leaves figures.
        args.out.mkdir(parents=True, exist_ok=True)
        (args.out / "startup.partial.json").write_text(json.dumps({"meta": meta, "results": results}, indent=1))
        for s in subjects:
            t = record["times"][s]
            say(f"  {name} {s}: start-up {seconds_cell(t['startup_s'])}, total {seconds_cell(t['total_s'])}")

    meta["load_end"] = wine_runner.load_average()
    meta["leftovers"] = ", ".join(p.name for p in leftovers(wine))
    return results, meta


def report(results, names, meta, args):
    args.out.mkdir(parents=True, exist_ok=True)
    (args.out / "startup.json").write_text(json.dumps({"meta": meta, "results": results}, indent=1))
    write_table(results, names, meta, args.out / "startup.md")
    write_plot(results, names, args.out / "startup.png")
    if args.readme:
        update_readme(ROOT / "README.md", summary_block(results, names, meta))
    print((args.out / "startup.md").read_text())


if __name__ == "__main__":
    main()
