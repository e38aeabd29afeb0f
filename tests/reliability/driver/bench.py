"""The reliability part of ./tarvek bench: the large damage campaign, the
full load, and once more the faults, awkward paths and the role decision
where processes cannot read each other; figures to a Markdown file."""
import datetime
import io
import os
import subprocess
import sys

import wine

from . import campaign, common, faults, load, paths, relaunch


class Tee(io.StringIO):
    """Keeps what is written and shows it at once."""

    def write(self, text):
        sys.stdout.write(text)
        sys.stdout.flush()
        return super().write(text)


def counts_table(tally):
    labels = sorted({label for counts in tally.counts.values() for label in counts},
                    key=lambda label: -sum(counts[label] for counts in tally.counts.values()))
    lines = ["| outcome | without checksum | with checksum |", "|---|---:|---:|"]
    for label in labels:
        lines.append(f"| {label} | {tally.counts['plain'][label]} | {tally.counts['checksum'][label]} |")
    lines.append(f"| all cases | {sum(tally.counts['plain'].values())} | {sum(tally.counts['checksum'].values())} |")
    return "\n".join(lines)


def run(conf, args, source_root):
    clock = common.Clock()
    commit = subprocess.run(["git", "-C", source_root, "rev-parse", "--short", "HEAD"], capture_output=True,
                            text=True).stdout.strip() or "unknown"
    load_average = wine.load_average()
    started = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    failed = 0

    def progress(config, done, total, tally):
        print(f"  {config}: {done} of {total} cases, {clock.seconds():.0f} s", file=sys.stderr, flush=True)

    print(f"damage campaign: {args.cases} mutated launchers per frame kind, seed {args.seed}", flush=True)
    tally = campaign.run(conf, args.seed, args.cases, args.parallel, args.timeout * 1000, progress=progress)
    campaign_seconds = clock.seconds()
    table = counts_table(tally)
    print(table)
    bad = [f"- {case_id}: {description}: {label}" for _, case_id, description, label, _, _ in tally.failures]
    failed += bool(bad)

    parts = {}
    for name, call in (("load", lambda out: load.run(conf, out, args.serial, args.concurrent)),
                       ("faults", lambda out: faults.run(conf, out)),
                       ("paths", lambda out: paths.run(conf, out)),
                       ("denied", lambda out: relaunch.denied(conf, out)),
                       ("strace", lambda out: relaunch.check(conf, out))):
        print(f"{name}:", flush=True)
        out = Tee()
        result = call(out)
        failed += result not in (0, relaunch.SKIPPED)
        parts[name] = out.getvalue()

    text = f"""# Reliability figures

Taken {started} on {conf.wine.machine()}, launcher at commit {commit}; load average at the start {load_average}.
Provisional where other developers built and tested on the same cores at the time.
Written by `./tarvek bench` (`tests/reliability/reliability.py bench`).

## Damage campaign

{args.cases} mutated copies of a linked launcher per frame kind (seed {args.seed}: bit flips in every region,
runs of random bytes, frames cut short or followed by foreign bytes), and the malformed streams, run
{args.parallel} at a time with a time bound of {args.timeout} s each; {campaign_seconds / 60:.0f} minutes in all.
"altered": the application ran on files that differ from the packed ones, which only a frame without
checksum may allow.

{table}

{"Forbidden outcomes:" if bad else "No forbidden outcome: no hang, no chain of launchers, no launcher crash, nothing left after a run that got to the application, no application run on altered files with a checksum."}
{chr(10).join(bad)}

## Load: one launcher, one TEMP

```
{parts['load']}```

## Faults from outside

```
{parts['faults']}```

## Awkward paths

```
{parts['paths']}```

## The role decision where processes cannot read each other

```
{parts['denied']}{parts['strace']}```
"""
    os.makedirs(os.path.dirname(args.out), exist_ok=True)
    with open(args.out, "w", encoding="utf-8") as f:
        f.write(text)
    print(f"figures written to {args.out}")
    return 1 if failed else 0
