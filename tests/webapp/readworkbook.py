"""Reads a workbook (.xlsx) with openpyxl and prints what a spreadsheet would show, as JSON.

usage: readworkbook.py FILE [--rows N]

Per sheet: its title, the frozen cell, whether its first row is bold, the filtered range, the
column widths and the cells of its rows (of the first sheet, the first N rows when N is given),
each as [type, value]: "n" number, "d" date (ISO text), "b" boolean, "s" text, null for an empty
cell. Texts are decoded as a spreadsheet reads them
(_xHHHH_ escapes), which openpyxl leaves to its caller.
"""
import json
import re
import sys

import openpyxl

ESCAPE = re.compile(r"_x([0-9A-Fa-f]{4})_")


def text(value):
    return ESCAPE.sub(lambda m: chr(int(m.group(1), 16)), value)


def cell(c):
    if c.value is None:
        return None
    if c.is_date:
        return ["d", c.value.isoformat()]
    if c.data_type == "b":
        return ["b", c.value]
    if c.data_type == "n":
        return ["n", c.value]
    return [c.data_type, text(str(c.value))]


def sheet(ws, rows):
    return {
        "title": ws.title,
        "freeze": ws.freeze_panes,
        "filter": ws.auto_filter.ref,
        "max_row": ws.max_row,
        "bold": all(c.font.b for c in next(ws.iter_rows(max_row=1), ())),
        "widths": {k: d.width for k, d in ws.column_dimensions.items() if d.customWidth},
        "rows": [[cell(c) for c in r] for r in ws.iter_rows(max_row=rows)],
    }


def main():
    path = sys.argv[1]
    rows = int(sys.argv[3]) if len(sys.argv) > 3 and sys.argv[2] == "--rows" else None
    book = openpyxl.load_workbook(path)
    sheets = [sheet(ws, rows if n == 0 else None) for n, ws in enumerate(book.worksheets)]
    json.dump({"sheets": sheets}, sys.stdout)


main()
