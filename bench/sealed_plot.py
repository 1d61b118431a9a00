#!/usr/bin/env python3
"""Draws the throughput of sealed files against file size from the figures of
`bench/sealed_bench.py --sweep`, as an SVG written with the standard library alone (no plotting
package needed on the machine that measured):

    bench/sealed_plot.py sealed-sweep.json docs/performance-sealed.svg

One panel per folder measured (tmpfs, disk), size on a base-2 logarithmic axis, MiB/s (the
file's size over the median time of the whole command) on a linear one, a line per command."""
import html
import json
import math
import sys

PANEL_W, PANEL_H, LEFT, TOP, BOTTOM, GAP, RIGHT = 420, 300, 60, 40, 50, 50, 240
SERIES = [  # (case in the figures, label, colour, dashed)
    ("seal", "vantry seal (recipient + account)", "#1f5fbf", False),
    ("unseal", "vantry unseal (identity)", "#1f9f3f", False),
    ("age -e", "age -e -r", "#1f5fbf", True),
    ("age -d", "age -d -i", "#1f9f3f", True),
    ("cat", "cat to a file (no fsync)", "#777777", False),
    ("durable copy", "cp + fsync + rename", "#c0392b", True),
]
FOLDER_NAMES = {"/dev/shm": "tmpfs (/dev/shm)", "/var/tmp": "disk, ext4 (/var/tmp)"}


def nice_top(value):
    """A round number at or above value, for the top of the axis: five grid steps below it."""
    step = 10 ** math.floor(math.log10(value))
    return next(m * step for m in (1, 1.5, 2, 2.5, 3, 4, 5, 6, 8, 10) if m * step >= value)


def text(x, y, s, anchor="middle", size=12, extra=""):
    return (f'<text x="{x:.1f}" y="{y:.1f}" text-anchor="{anchor}" font-size="{size}" '
            f'{extra}>{html.escape(s)}</text>')


def panel(x0, title, rows, top):
    sizes = [row["mib"] for row in rows]
    lo, hi = math.log2(min(sizes)), math.log2(max(sizes))
    px = lambda mib: x0 + (math.log2(mib) - lo) / ((hi - lo) or 1) * PANEL_W
    py = lambda rate: TOP + PANEL_H - rate / top * PANEL_H
    out = [f'<rect x="{x0}" y="{TOP}" width="{PANEL_W}" height="{PANEL_H}" fill="none" '
           f'stroke="#333"/>', text(x0 + PANEL_W / 2, TOP - 12, title, size=14)]
    for i in range(6):
        rate = top * i / 5
        out.append(f'<line x1="{x0}" x2="{x0 + PANEL_W}" y1="{py(rate):.1f}" '
                   f'y2="{py(rate):.1f}" stroke="#ddd"/>')
        out.append(text(x0 - 6, py(rate) + 4, f"{rate:g}", "end", 11))
    for mib in sizes:
        out.append(text(px(mib), TOP + PANEL_H + 16, f"{mib:g}", size=11))
    out.append(text(x0 + PANEL_W / 2, TOP + PANEL_H + 36, "file size, MiB (log scale)"))
    for case, _, colour, dashed in SERIES:
        points = [(px(r["mib"]), py(r["mib"] / r["seconds"][case])) for r in rows]
        dash = ' stroke-dasharray="6 4"' if dashed else ""
        out.append(f'<polyline fill="none" stroke="{colour}" stroke-width="2"{dash} points="'
                   + " ".join(f"{x:.1f},{y:.1f}" for x, y in points) + '"/>')
        out += [f'<circle cx="{x:.1f}" cy="{y:.1f}" r="3" fill="{colour}"/>' for x, y in points]
    return out


def main():
    source, target = sys.argv[1:3]
    with open(source) as f:
        figures = json.load(f)
    folders = list(figures["dirs"].items())
    top = nice_top(max(r["mib"] / s for _, rows in folders for r in rows
                       for s in r["seconds"].values()))
    width = LEFT + len(folders) * (PANEL_W + GAP) + RIGHT
    height = TOP + PANEL_H + BOTTOM + 30
    m = figures["machine"]
    out = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
           f'viewBox="0 0 {width} {height}" font-family="sans-serif">',
           f'<rect width="{width}" height="{height}" fill="white"/>',
           text(18, TOP + PANEL_H / 2, "MiB/s (size / time of the command)", size=12,
                extra=f'transform="rotate(-90 18 {TOP + PANEL_H / 2})"')]
    for i, (folder, rows) in enumerate(folders):
        out += panel(LEFT + i * (PANEL_W + GAP), FOLDER_NAMES.get(folder, folder), rows, top)
    legend_x = LEFT + len(folders) * (PANEL_W + GAP) - GAP + 14
    for i, (_, label, colour, dashed) in enumerate(SERIES):
        y = TOP + 12 + i * 22
        dash = ' stroke-dasharray="6 4"' if dashed else ""
        out.append(f'<line x1="{legend_x}" x2="{legend_x + 24}" y1="{y}" y2="{y}" '
                   f'stroke="{colour}" stroke-width="2"{dash}/>')
        out.append(text(legend_x + 30, y + 4, label, "start", 11))
    out.append(text(LEFT, height - 10, f"{m['cpu']}, {m['nproc']} CPUs; medians of "
                    f"{figures['runs']} runs; {figures['started']}; load average "
                    f"{figures['load before'][0]:.1f} before, {figures['load after'][0]:.1f} "
                    f"after", "start", 11))
    out.append("</svg>")
    with open(target, "w") as f:
        f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
