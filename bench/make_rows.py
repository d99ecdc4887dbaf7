#!/usr/bin/env python3
"""Appends rows to one side of the benchmark schema: make_rows.py N ROWS sample|target.

Every table of make_schema.py gets ROWS rows in its columns that no variant changes (c01 to c11),
in INSERT statements of at most 1,000 row lists each.
"""
import sys


def row(k):
    return (f"({k}, 'text {k}', N'名字 {k}', {k}.25, '2024-01-{1 + k % 28:02d}', {k % 7}, {k % 2}, "
            f"{k * 1000}, 'c{k % 100}', {k}.5, {k}.125)")


def inserts(table, rows):
    out = []
    for start in range(0, rows, 1000):
        values = ", ".join(row(k) for k in range(start, min(rows, start + 1000)))
        out.append(f"insert into {table} (c01, c02, c03, c04, c05, c06, c07, c08, c09, c10, c11) "
                   f"values {values}\nGO\n")
    return "".join(out)


def main(argv):
    if len(argv) != 4 or argv[3] not in ("sample", "target"):
        sys.stderr.write("usage: make_rows.py N ROWS sample|target >> FILE.sql\n")
        return 2
    n, rows, side = int(argv[1]), int(argv[2]), argv[3]
    for i in range(n):
        name = f"u{i:05d}" if side == "target" and i % 100 == 55 else f"t{i:05d}"
        sys.stdout.write(inserts(name, rows))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
