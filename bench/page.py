#!/usr/bin/env python3
"""Writes the parts of the performance page that are numbers, from its data.

Every block of the page between a line `<!-- from DATA: KIND -->` and the
next `<!-- end -->` is made from the data file DATA beside the page, so that
no ratio or comparison there can say more than the data gives:

  bench/page.py doc/performance.md            writes the blocks again
  bench/page.py --check doc/performance.md    fails, naming each block that
                                              differs from what its data gives

DATA is speed.dat, as bench/speed.sh writes it, or sizes.dat, as
bench/table.sh writes it. A ratio written by hand in a table, as
"0.77 s (1.19 × cat)", is checked against the cat column of its row: it
must be what the two numbers give, as far as their rounding allows. Their headers, lines that start with '#', name the
machine as `# machine: ...`; their columns are named by their last header
line.
"""

import argparse
import pathlib
import re
import sys

BLOCK = re.compile(r"(<!-- from (\S+): (\S+) -->\n)(.*?)(<!-- end -->)", re.S)
KIB = 1024
MIB = 1024 * KIB
GIB = 1024 * MIB


def read_data(path):
    """Returns the header lines (without '# ') and the rows as dicts."""
    header, rows = [], []
    for line in path.read_text().splitlines():
        if line.startswith("#"):
            header.append(line[1:].strip())
        elif line.strip():
            rows.append(dict(zip(header[-1].split(), (float(v) for v in line.split()))))
    return header, rows


def field(header, name):
    """Returns what the header line `name: ...` says."""
    return next(line.split(": ", 1)[1] for line in header if line.startswith(name + ": "))


def size_name(n):
    for unit, name in ((GIB, "GiB"), (MIB, "MiB"), (KIB, "KiB")):
        if n >= unit:
            return f"{n / unit:g} {name}"
    return f"{n:g} bytes"


def ms(us):
    """Returns microseconds as milliseconds, to three figures."""
    x = us / 1000
    return f"{x:.0f}" if x >= 100 else f"{x:.1f}" if x >= 10 else f"{x:.2f}"


def ratio(a, b):
    return f"{a / b:.2f}"


def span(values):
    """Returns 'x' or 'x to y' for the lowest and highest ratio a / b of the
    pairs (a, b) in values, rounded."""
    by_ratio = sorted(values, key=lambda v: v[0] / v[1])
    low, high = ratio(*by_ratio[0]), ratio(*by_ratio[-1])
    return low if low == high else f"{low} to {high}"


def run(header, what):
    """Says what was taken of how many runs, when, and how busy the machine was."""
    end = [line for line in header if line.startswith("load average at the end: ")]
    return (f"{what} of {field(header, 'runs')}, {field(header, 'date')[:10]}, load average "
            f"{field(header, 'load average at the start')} at the start"
            + (f" and {field(end, 'load average at the end').split(';')[0]} at the end" if end else ""))


def machine(header, rows, page_dir):
    """The one description of the machine, from the figure's data."""
    return (f"{field(header, 'machine')}; {field(header, 'system')}.\n")


def speed_summary(header, rows, page_dir):
    """Sentences on the figure: rotfile's and tr's times as multiples of cat's."""
    out = [f"{run(header, 'Medians and quartiles')}:", ""]
    text_names = {"lf": "LF", "crlf": "CR LF"}
    for text in ("lf", "crlf"):
        def ratios(tool, text=text):
            return [(r[f"{tool}_{text}"], r[f"cat_{text}"], r["bytes"]) for r in rows]
        rot = ratios("rotfile")
        worst = max(rot, key=lambda v: v[0] / v[1])
        out.append(f"- {text_names[text]} text, from {size_name(rows[0]['bytes'])} to "
                   f"{size_name(rows[-1]['bytes'])}: rotfile took {span([v[:2] for v in rot])} × "
                   f"cat's median time, the most at {size_name(worst[2])}; "
                   f"tr {span([v[:2] for v in ratios('tr')])} ×.")
    return "\n".join(out) + "\n"


def sizes_table(header, rows, page_dir):
    """The table of mid sizes: medians, and rotfile's as multiples of cat's and dd's."""
    speed = page_dir / "speed.dat"
    same = speed.exists() and field(read_data(speed)[0], "machine") == field(header, "machine")
    where = "the machine above" if same else field(header, "machine")
    out = [f"{run(header, 'Medians')}, on {where}:", "",
           "| size | text | rotfile | cat | dd | rotfile / cat | rotfile / dd |",
           "|---|---|---|---|---|---|---|"]
    for r in rows:
        text = "LF" if r["crlf"] == 0 else "CR LF"
        out.append(f"| {size_name(r['bytes'])} | {text} | {ms(r['rotfile'])} ms | "
                   f"{ms(r['cat'])} ms | {ms(r['dd'])} ms | "
                   f"{ratio(r['rotfile'], r['cat'])} | {ratio(r['rotfile'], r['dd'])} |")
    # Counted from the ratios as the table shows them, so that the two agree.
    over_cat = [r for r in rows if float(ratio(r["rotfile"], r["cat"])) > 1.1]
    over_dd = [r for r in rows if float(ratio(r["rotfile"], r["dd"])) > 1.0]
    out += ["", f"rotfile's median was above 1.1 × cat's in {len(over_cat)} of {len(rows)} "
                f"rows, and above dd's in {len(over_dd)}."]
    return "\n".join(out) + "\n"


RATIO = re.compile(r"([0-9.]+) [^|(]*\(([0-9.]+) × cat\)")
NUMBER = re.compile(r"[0-9]+(?:\.([0-9]+))?")


def bounds(text):
    """Returns the least and the greatest value that rounds to the number text."""
    match = NUMBER.match(text)
    half = 0.5 * 10 ** -len(match.group(1) or "")
    return float(match.group(0)) - half, float(match.group(0)) + half


def wrong_ratios(page):
    """Returns the table rows whose ratio to cat their numbers do not give."""
    wrong, cat_column = [], None
    for line in page.splitlines():
        cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
        if not line.startswith("|"):
            cat_column = None
        elif cat_column is None:
            cat_column = next((i for i, cell in enumerate(cells) if "cat" in cell), None)
        for cell in cells:
            match = RATIO.search(cell)
            if match and cat_column is not None:
                (low, high), (cat_low, cat_high) = bounds(match.group(1)), bounds(cells[cat_column])
                ratio_low, ratio_high = bounds(match.group(2))
                if low / cat_high > ratio_high or high / cat_low < ratio_low:
                    wrong.append(line)
    return wrong


KINDS = {"machine": machine, "summary": speed_summary, "table": sizes_table}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--check", action="store_true", help="change nothing; fail on a difference")
    parser.add_argument("page", type=pathlib.Path)
    args = parser.parse_args()
    page = args.page.read_text()
    stale = []

    def remake(match):
        data, kind = match.group(2), match.group(3)
        made = KINDS[kind](*read_data(args.page.parent / data), args.page.parent)
        if made != match.group(4):
            stale.append(f"{data}: {kind}")
        return match.group(1) + made + match.group(5)

    new_page = BLOCK.sub(remake, page)
    wrong = wrong_ratios(page)
    for row in wrong:
        print(f"{args.page}: a ratio to cat that its row does not give: {row}", file=sys.stderr)
    if args.check:
        for name in stale:
            print(f"{args.page}: the block from {name} says other than its data", file=sys.stderr)
        return 1 if stale or wrong else 0
    args.page.write_text(new_page)
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
