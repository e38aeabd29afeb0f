"""The goals the figures are held against, as rows of a Markdown table."""
from figures import median, mib

# (what, the figure, the limit's variant, its text, the bound; the sizes
# where the peer counts, its factor)
TIME_GOALS = (("start-up", "startup_s", "limit_write", "decode-and-write", 1.1, ("medium", "large"), 8),
              ("total", "total_s", "limit_remove", "decode-write-remove", 1.2, ("large",), 5))


def goal_lines(results, names):
    lines = []

    def check(text, ratio, passed):
        lines.append(f"| {text} | {ratio} | {'met' if passed else 'missed'} |")

    for name in names:
        for what, key, variant, variant_text, bound, peer_sizes, factor in TIME_GOALS:
            floor, limit = median(results, name, "floor", key), median(results, name, variant, "total_s")
            ours = median(results, name, "ours", key)
            if None not in (floor, limit, ours):
                r = ours / (floor + limit)
                check(f"{name}: {what} ≤ {bound} × (floor + {variant_text} limit)", f"{r:.2f}×", r <= bound)
            peer = median(results, name, "peer", key)
            if name in peer_sizes and None not in (peer, ours):
                r = peer / ours
                check(f"{name}: {what} ≥ {factor}× lower than the peer's", f"{r:.1f}× lower", r >= factor)
    own = [median(results, name, "ours", "own_start_s") for name in names]
    own = [v for v in own if v is not None]
    if len(own) >= 2:
        r = max(own) / min(own)
        check("child's start to run_code flat across sizes (within 20 %)", f"max/min {r:.2f}", r <= 1.2)
    for name in names:
        peak = results[name]["memory"].get("ours", {}).get("parent_peak_private")
        window = results[name].get("window")
        if peak is not None and window:
            limit = window + 4 * 1048576
            check(f"{name}: parent peak private ≤ window ({mib(window)} MiB) + 4 MiB",
                  f"{mib(peak)} MiB ({peak / limit:.2f}× the bound)", peak <= limit)
    return lines


def goals_met(lines):
    return sum(1 for line in lines if line.endswith("| met |"))
