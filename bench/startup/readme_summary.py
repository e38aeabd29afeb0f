"""The README's short form of the figures (medians only, and the goals),
between its bench summary markers."""
from apps import size_title
from figures import median
from goals import goal_lines, goals_met
from progress import say

START = "<!-- bench summary: written by ./tarvek bench --readme -->"
END = "<!-- end of bench summary -->"
ROWS = (("floor", "total_s", "floor: the application run directly"),
        ("ours", "startup_s", "this launcher, start-up"),
        ("ours", "total_s", "this launcher, total"),
        ("ours_run", "startup_s", "this launcher with --run, start-up"),
        ("ours_run", "total_s", "this launcher with --run, total"),
        ("peer", "startup_s", "NSIS peer, start-up"),
        ("peer", "total_s", "NSIS peer, total"),
        ("limit_write", "total_s", "limit: decode and write"),
        ("limit_remove", "total_s", "limit: decode, write, remove"))


def summary_block(results, names, meta):
    lines = [f"Taken {meta['date']} on {meta['machine']}, launcher at commit {meta['commit'].split()[0]}; "
             f"load average at the start {meta['load_start']}. {meta['load_note']}", "",
             "| seconds, median | " + " | ".join(size_title(n) for n in names) + " |",
             "|---|" + "---:|" * len(names)]

    def cell(subject, key, n):
        m = median(results, n, subject, key)
        return f"{m:.2f}" if m is not None else "–"

    for subject, key, label in ROWS:
        lines.append(f"| {label} | " + " | ".join(cell(subject, key, n) for n in names) + " |")
    goals = goal_lines(results, names)
    lines += ["", f"Goals met: {goals_met(goals)} of {len(goals)}; every figure, the goals with their ratios, "
              "memory, sizes, pack times and where the launcher's time goes are in "
              "[bench/results/startup.md](bench/results/startup.md), the plot in "
              "[bench/results/startup.png](bench/results/startup.png)."]
    return "\n".join(lines)


def update_readme(readme, block):
    text = readme.read_text()
    if START not in text or END not in text:
        say(f"{readme.name} has no bench summary markers; not updated")
        return
    before, rest = text.split(START, 1)
    _, after = rest.split(END, 1)
    readme.write_text(f"{before}{START}\n{block}\n{END}{after}")
