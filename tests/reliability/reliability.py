#!/usr/bin/python3
"""Reliability checks of Tarvek Onefile launchers under Wine.

  reliability.py --conf BUILD/win/tests/reliability/reliability.conf COMMAND [OPTIONS]

Commands:
  campaign   damaged launchers: mutated payloads and malformed streams;
             prints the count of each outcome, fails on a forbidden one
  relaunch   the launcher under strace -f, where no process can read
             another's memory: one child, no chain
  denied     the same where each launcher process denies the others access
             (its memory, or everything)
  faults     TEMP unusable, a full disk, a file held open, the child or the
             parent ended from outside, Ctrl-C: each with its outcome
  load       many runs in a row and at the same time, one TEMP for all
  paths      a launcher in a folder with spaces and characters outside the
             BMP; TEMP from 180 units to past what the system returns
  bench      all of it at full size (./tarvek bench runs it): figures to
             bench/results/reliability.md
  zeros N OUT            (build step) N zero bytes into OUT
  roomy PACK_TOOL LAUNCHER ROOM OUT
                         (build step) the stored payload of LAUNCHER with
                         ROOM more bytes of zero padding
Run with --help after a command for its options."""
import argparse
import os
import sys

# Nothing is written into the source tree (but the bench's figures).
sys.dont_write_bytecode = True
SOURCE_ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
# The Wine runner the bench shares (tools/wine.py).
sys.path.insert(0, os.path.join(SOURCE_ROOT, "tools"))

from driver import bench, campaign, common, faults, load, paths, payload, relaunch  # noqa: E402


def command_campaign(conf, args):
    clock = common.Clock()

    def progress(config, done, total, tally):
        print(f"  {config}: {done} of {total} cases, {clock.seconds():.0f} s", file=sys.stderr, flush=True)

    configs = campaign.CONFIGS if args.config == "both" else (args.config,)
    tally = campaign.run(conf, args.seed, args.cases, args.parallel, args.timeout * 1000, only=args.only,
                         configs=configs, batch=args.batch, malformed=not args.no_malformed,
                         progress=progress)
    print(f"damage campaign, seed {args.seed}, {args.cases} mutated launchers per frame kind "
          f"(and the malformed streams), {clock.seconds():.0f} s:")
    campaign.print_counts(tally, sys.stdout)
    for config, case_id, description, label, allowed, result in tally.failures:
        print(f"FAIL {case_id}: {description}: {label}"
              + (f" (allowed: {', '.join(sorted(allowed))})" if allowed else "")
              + f"\n     {campaign.describe(result)}"
              + f"\n     again: {sys.argv[0]} --conf {args.conf} campaign --seed {args.seed} --config {config}"
              + (f" --only {case_id.rsplit('-', 1)[1]}" if "-m" not in case_id else ""))
    if tally.failures:
        print(f"{len(tally.failures)} cases ended in a forbidden outcome; their launchers are kept in "
              f"{os.path.join(conf.work, 'campaign-failures')}")
        return 1
    print("no hang, no chain of launchers, no launcher crash, nothing left behind after a run"
          + ("" if args.config == "plain" else ", no completed run on altered files with a checksum"))
    return 0


def command_zeros(args):
    with open(args.out, "wb") as f:
        f.write(bytes(args.count))
    return 0


def command_roomy(args):
    fields = payload.launcher_layout(args.pack_tool, args.launcher)
    with open(args.launcher, "rb") as f:
        f.seek(fields["payload_offset"])
        stored = f.read(fields["payload_size"])
    layout = payload.Layout(stored, fields)
    with open(args.out, "wb") as f:
        f.write(layout.wrap(layout.frame, room=args.room))
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--conf", help="reliability.conf written by the build")
    commands = parser.add_subparsers(dest="command", required=True)

    c = commands.add_parser("campaign", help="damaged launchers")
    c.add_argument("--seed", type=int, default=1)
    c.add_argument("--cases", type=int, default=100, help="mutated launchers per frame kind (default 100)")
    c.add_argument("--config", choices=["plain", "checksum", "both"], default="both",
                   help="frames without checksum, with it, or both (default)")
    c.add_argument("--only", type=int, help="run only this case number (to reproduce one)")
    c.add_argument("--no-malformed", action="store_true", help="leave out the malformed streams")
    c.add_argument("--parallel", type=int, default=2, help="launchers run at the same time (default 2)")
    c.add_argument("--timeout", type=int, default=30, help="time bound of one run in seconds (default 30)")
    c.add_argument("--batch", type=int, default=100, help="launchers written and run at a time (default 100)")

    commands.add_parser("relaunch", help="the launcher under strace -f")
    commands.add_parser("denied", help="launcher processes that deny each other access")
    commands.add_parser("faults", help="faults from outside a run")
    lo = commands.add_parser("load", help="runs in a row and at the same time")
    lo.add_argument("--serial", type=int, default=200, help="runs in a row (default 200)")
    lo.add_argument("--concurrent", type=int, default=20, help="runs at the same time (default 20)")
    commands.add_parser("paths", help="awkward paths")
    b = commands.add_parser("bench", help="everything at full size, figures to a file")
    b.add_argument("--cases", type=int, default=1000, help="mutated launchers per frame kind (default 1000)")
    b.add_argument("--seed", type=int, default=2)
    b.add_argument("--parallel", type=int, default=2)
    b.add_argument("--timeout", type=int, default=30, help="time bound of one run in seconds (default 30)")
    b.add_argument("--serial", type=int, default=200, help="load: runs in a row (default 200)")
    b.add_argument("--concurrent", type=int, default=20, help="load: runs at the same time (default 20)")
    b.add_argument("--out", default=os.path.join(SOURCE_ROOT, "bench", "results", "reliability.md"))

    z = commands.add_parser("zeros")
    z.add_argument("count", type=int)
    z.add_argument("out")
    r = commands.add_parser("roomy")
    r.add_argument("pack_tool")
    r.add_argument("launcher")
    r.add_argument("room", type=int)
    r.add_argument("out")

    args = parser.parse_args()
    if args.command == "zeros":
        return command_zeros(args)
    if args.command == "roomy":
        return command_roomy(args)
    if not args.conf:
        parser.error("--conf is required")
    conf = common.Conf(args.conf)
    if args.command == "relaunch":
        return relaunch.check(conf, sys.stdout)
    if args.command == "denied":
        return relaunch.denied(conf, sys.stdout)
    if args.command == "faults":
        return 1 if faults.run(conf, sys.stdout) else 0
    if args.command == "load":
        return 1 if load.run(conf, sys.stdout, args.serial, args.concurrent) else 0
    if args.command == "paths":
        return 1 if paths.run(conf, sys.stdout) else 0
    if args.command == "bench":
        return bench.run(conf, args, SOURCE_ROOT)
    return {"campaign": command_campaign}[args.command](conf, args)


if __name__ == "__main__":
    sys.exit(main())
