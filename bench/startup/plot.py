"""The plot of start-up and total against the application's size:
bench/results/startup.png."""
from apps import SIZES
from subjects import LABELS


def write_plot(results, names, out):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    xs = [SIZES[n][1] / 1e6 for n in names]
    figure, axes = plt.subplots(1, 2, figsize=(12, 4.8))
    panels = (("startup_s", "Start-up latency", ["floor", "ours", "ours_run", "peer"]),
              ("total_s", "Total", ["floor", "ours", "ours_run", "peer", "limit_decode", "limit_write",
                                    "limit_remove"]))
    for axis, (key, title, subjects) in zip(axes, panels):
        for subject in subjects:
            points = [(x, results[n]["times"].get(subject, {}).get(key)) for x, n in zip(xs, names)]
            points = [(x, s) for x, s in points if s]
            if not points:
                continue
            medians = [s["median"] for _, s in points]
            low = [s["median"] - s["min"] for _, s in points]
            high = [s["max"] - s["median"] for _, s in points]
            axis.errorbar([x for x, _ in points], medians, yerr=[low, high], marker="o", capsize=3,
                          label=LABELS[subject], linestyle="--" if subject.startswith("limit") else "-")
        if key == "startup_s":
            floor_plus = []
            for x, n in zip(xs, names):
                f = results[n]["times"].get("floor", {}).get("startup_s")
                w = results[n]["times"].get("limit_write", {}).get("total_s")
                if f and w:
                    floor_plus.append((x, f["median"] + w["median"]))
            if floor_plus:
                axis.plot([x for x, _ in floor_plus], [y for _, y in floor_plus], ":", color="gray",
                          label="floor + decode-and-write limit")
        axis.set_yscale("log")
        axis.set_xlabel("application size (MB)")
        axis.set_ylabel("seconds (median, bars: min–max)")
        axis.set_title(title)
        axis.grid(True, which="both", alpha=0.3)
        axis.legend(fontsize=8)
    figure.tight_layout()
    figure.savefig(out, dpi=110)
