"""The results table every bench prints: a figure beside its target."""


def print_table(rows):
    """rows: (what, figure, target, met) with met True, False or None (no
    target); prints them aligned and returns the exit status, 1 if any missed."""
    width = max(len(r[0]) for r in rows)
    for name, figure, target, met in rows:
        verdict = "" if met is None else ("met" if met else "MISSED")
        print("%-*s  %10s  %-9s %s" % (width, name, figure, target, verdict))
    return 0 if all(r[3] is not False for r in rows) else 1
