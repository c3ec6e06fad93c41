#!/usr/bin/env python3
"""Draws the transcript of a qx80 session (qx80 update --log FILE) as an SVG timeline.

    scripts/draw_transcript.py TRANSCRIPT OUT.svg [--table]

The picture has one row for the device's mode as the tool saw it, one for the requests the
host sent (a block is a request of more than one report), one for the waits (no report for
longer than WAIT_S), and a marker with its text for every phase and the result. --table also
prints the phases as a Markdown table: each phase, when it began and how long it lasted.
The transcript format is in docs/transcripts.md; only the standard library is used.
"""
import argparse
import html
import math
import sys

WAIT_S = 0.3  # a pause in the reports at least this long is a wait
WIDTH = 960
LEFT = 110  # room for the row names
RIGHT = 20
ROW = 26
REQUEST_FIRST = 0x80  # the kind byte of a request's first report
REPORT_PAYLOAD = 63  # message bytes in one report, after the kind byte
HEADER = 8  # message header bytes

MODE_COLOURS = {"normal mode": "#7cb97c", "update mode": "#e8a33d", "absent": "#d0d0d0"}


def read(path):
    """The transcript's events as (seconds, kind, fields); ends the script with the reason
    when the file cannot be read or is not a transcript."""
    try:
        with open(path, "rb") as f:
            lines = f.read().decode("utf-8").splitlines()
    except OSError as error:
        sys.exit(f"{path}: cannot read it: {error.strerror}")
    except UnicodeDecodeError:
        sys.exit(f"{path}: not a transcript (not text)")
    if not lines or not lines[0].startswith("qx80-transcript "):
        sys.exit(f"{path}: not a transcript (its first line is not \"qx80-transcript N\")")
    events = []
    for number, line in enumerate(lines[1:], start=2):
        if not line or line.startswith("#"):
            continue
        seconds, kind, *rest = line.split(" ", 2) + [""]
        try:
            time = float(seconds)
        except ValueError:
            time = -1.0
        if not kind or not math.isfinite(time) or time < 0:
            sys.exit(f"{path}:{number}: not an event (SECONDS KIND FIELDS...): {line[:60]!r}")
        events.append((time, kind, rest[0] if rest else ""))
    return events


def requests(events):
    """(seconds, is_block) for every request the host began."""
    found = []
    for seconds, kind, fields in events:
        if kind != "out":
            continue
        report = bytes.fromhex(fields.split()[1])
        if len(report) < 2 + HEADER or report[1] != REQUEST_FIRST:
            continue
        length = report[8] | report[9] << 8
        found.append((seconds, HEADER + length > REPORT_PAYLOAD))
    return found


def waits(events):
    """(start, end) of every pause of at least WAIT_S between reports."""
    times = [seconds for seconds, kind, _ in events if kind in ("out", "in")]
    return [(a, b) for a, b in zip(times, times[1:]) if b - a >= WAIT_S]


def phases(events):
    """(start, end, text) for each phase and the result, and for the first and the last block
    written; the last one ends with the session."""
    marks = [(s, ("result " + f) if k == "result" else f) for s, k, f in events if k in ("phase", "result")]
    blocks = [s for s, is_block in requests(events) if is_block]
    if blocks:
        marks += [(blocks[0], f"writing {len(blocks)} blocks"), (blocks[-1], "last block written")]
        marks.sort(key=lambda mark: mark[0])
    end = events[-1][0] if events else 0
    return [(s, marks[i + 1][0] if i + 1 < len(marks) else end, text) for i, (s, text) in enumerate(marks)]


def mode_spans(events):
    """The device's mode from each report of it to the next, the last to the session's end."""
    reports = [(s, f[len("device: "):]) for s, k, f in events if k == "phase" and f.startswith("device: ")]
    end = events[-1][0] if events else 0
    return [(s, reports[i + 1][0] if i + 1 < len(reports) else end, m) for i, (s, m) in enumerate(reports)]


def svg(events, title):
    end = max(events[-1][0], 1e-3)
    scale = (WIDTH - LEFT - RIGHT) / end

    def x(seconds):
        return LEFT + seconds * scale

    marks = [(s, t) for s, _, t in phases(events)]
    label_rows = 5
    top = 40 + label_rows * 14
    rows = {"device": top, "requests": top + ROW, "waits": top + 2 * ROW}
    axis = top + 3 * ROW + 8
    height = axis + 40
    out = [
        f'<svg xmlns="http://www.w3.org/2000/svg" width="{WIDTH}" height="{height}" '
        f'font-family="sans-serif" font-size="11">',
        f'<rect width="{WIDTH}" height="{height}" fill="white"/>',
        f'<text x="{LEFT}" y="18" font-size="14" font-weight="bold">{html.escape(title)}</text>',
    ]
    for name, y in rows.items():
        out.append(f'<text x="{LEFT - 8}" y="{y + ROW / 2 + 4}" text-anchor="end">{name}</text>')

    for start, stop, mode in mode_spans(events):
        colour = MODE_COLOURS.get(mode, "#b0b0e0")
        w = max((stop - start) * scale, 1)
        out.append(f'<rect x="{x(start):.1f}" y="{rows["device"] + 3}" width="{w:.1f}" height="{ROW - 6}" '
                   f'fill="{colour}"><title>{html.escape(mode)}</title></rect>')
        if w > 8 * len(mode):
            out.append(f'<text x="{x(start) + 4:.1f}" y="{rows["device"] + ROW / 2 + 4}">{html.escape(mode)}</text>')

    found = requests(events)
    blocks = [s for s, is_block in found if is_block]
    drawn = set()
    for seconds, is_block in found:
        # One line per pixel column and kind: the blocks come hundreds to a pixel.
        if (round(x(seconds)), is_block) in drawn:
            continue
        drawn.add((round(x(seconds)), is_block))
        colour = "#3b6fb6" if is_block else "#2e8b57"
        out.append(f'<line x1="{x(seconds):.1f}" x2="{x(seconds):.1f}" y1="{rows["requests"] + 3}" '
                   f'y2="{rows["requests"] + ROW - 3}" stroke="{colour}" stroke-width="1"/>')
    if blocks:
        label = f"{len(blocks)} blocks in {blocks[-1] - blocks[0]:.2f} s"
        out.append(f'<text x="{x(blocks[-1]) + 4:.1f}" y="{rows["requests"] + ROW / 2 + 4}" fill="#3b6fb6">'
                   f'{label}</text>')

    for start, stop in waits(events):
        w = (stop - start) * scale
        out.append(f'<rect x="{x(start):.1f}" y="{rows["waits"] + 3}" width="{w:.1f}" height="{ROW - 6}" '
                   f'fill="#f3f3f3" stroke="#999"><title>no report for {stop - start:.2f} s</title></rect>')
        if w > 40:
            out.append(f'<text x="{x(start) + w / 2:.1f}" y="{rows["waits"] + ROW / 2 + 4}" '
                       f'text-anchor="middle">{stop - start:.1f} s</text>')

    # Phase markers, their texts on staggered lines so that close ones do not overlap. A text
    # that would run past the right edge ends at its marker instead.
    taken = [[] for _ in range(label_rows)]  # (left, right) of the texts on each line
    for seconds, text in marks:
        px = x(seconds)
        width = 6.2 * len(text)
        anchor, left = ("end", px - 2 - width) if px + 2 + width > WIDTH else ("start", px + 2)
        right = left + width + 6
        line = next((i for i, spans in enumerate(taken) if all(right <= a or left >= b for a, b in spans)),
                    label_rows - 1)
        taken[line].append((left, right))
        y = 34 + line * 14
        tx = px - 2 if anchor == "end" else px + 2
        out.append(f'<line x1="{px:.1f}" x2="{px:.1f}" y1="{y + 3}" y2="{axis}" stroke="#c04040" '
                   f'stroke-dasharray="2,2"/>')
        out.append(f'<text x="{tx:.1f}" y="{y}" text-anchor="{anchor}" fill="#c04040">{html.escape(text)}</text>')

    out.append(f'<line x1="{LEFT}" x2="{x(end):.1f}" y1="{axis}" y2="{axis}" stroke="black"/>')
    step = 1 if end <= 30 else 5
    for second in range(0, int(end) + 1, step):
        out.append(f'<line x1="{x(second):.1f}" x2="{x(second):.1f}" y1="{axis}" y2="{axis + 4}" stroke="black"/>')
        out.append(f'<text x="{x(second):.1f}" y="{axis + 16}" text-anchor="middle">{second}</text>')
    out.append(f'<text x="{x(end):.1f}" y="{axis + 32}" text-anchor="end">seconds since the session began</text>')
    out.append("</svg>")
    return "\n".join(out) + "\n"


def table(events):
    rows = ["| phase | from | lasts |", "|---|---|---|"]
    for start, stop, text in phases(events):
        rows.append(f"| {text} | {start:.2f} s | {stop - start:.2f} s |")
    return "\n".join(rows) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("transcript")
    parser.add_argument("svg")
    parser.add_argument("--table", action="store_true", help="print the phases as a Markdown table")
    args = parser.parse_args()
    events = read(args.transcript)
    if not events:
        sys.exit(f"{args.transcript}: no events")
    with open(args.transcript, encoding="utf-8") as f:
        about = next((line[2:].strip() for line in f if line.startswith("# ")), "a qx80 session")
    with open(args.svg, "w", encoding="utf-8") as f:
        f.write(svg(events, about))
    if args.table:
        sys.stdout.write(table(events))


if __name__ == "__main__":
    main()
