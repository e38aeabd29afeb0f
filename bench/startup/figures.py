"""The runs' statistics, and how the tables write them."""
import statistics


def summary(values):
    """Median, minimum, maximum and count of the values given, or None."""
    values = [v for v in values if v is not None]
    if not values:
        return None
    return {"median": statistics.median(values), "min": min(values), "max": max(values), "n": len(values)}


def median(results, name, subject, key):
    """The median of a subject's figure at a size, or None."""
    s = results[name]["times"].get(subject, {}).get(key)
    return s["median"] if s else None


def seconds_cell(s):
    if s is None:
        return "–"
    if s["n"] == 1:
        return f"{s['median']:.3f}"
    return f"{s['median']:.3f} ({s['min']:.3f}–{s['max']:.3f})"


def mib(n):
    return "–" if n is None or n < 0 else f"{n / 1048576:.1f}"
