#!/usr/bin/env python3
"""Writes the T-SQL that builds one side of the benchmark: N tables of 15 columns.

Both sides get the same tables except for a known share of differences, so the listing's
row count can be checked against expected_rows(N):
  - every 10th table (i % 10 == 0) differs in one column on the target, by turns a longer
    varchar (code 5), another type (code 5), a column missing (code 4) or an extra one (code 3);
  - every 100th table (i % 100 == 55) exists only on the sample, and the target has a table of
    another name instead (15 rows of code 2 and 15 of code 1).
Two further target sides: "empty" has no tables (15 N rows of code 2, the big listing), and
"narrow" has every table without its last 10 columns (10 N rows of code 4, the synchronisation).
"""
import sys

COLUMNS = [
    ("c01", "int not null primary key"),
    ("c02", "varchar(50) null"),
    ("c03", "nvarchar(100) null"),
    ("c04", "decimal(10,2) null"),
    ("c05", "datetime null"),
    ("c06", "int null default 0"),
    ("c07", "bit not null"),
    ("c08", "bigint null"),
    ("c09", "char(10) null"),
    ("c10", "money null"),
    ("c11", "float null"),
    ("c12", "smallint null"),
    ("c13", "date null"),
    ("c14", "varchar(200) null"),
    ("c15", "uniqueidentifier null"),
]


def target_columns(i):
    cols = list(COLUMNS)
    if i % 10 != 0:
        return cols
    kind = (i // 10) % 4
    if kind == 0:
        cols[1] = ("c02", "varchar(60) null")
    elif kind == 1:
        cols[11] = ("c12", "int null")
    elif kind == 2:
        cols.pop()
    else:
        cols.append(("c16", "int null"))
    return cols


def table_sql(name, cols):
    body = ", ".join(f"{c} {t}" for c, t in cols)
    return f"create table {name} ({body})\nGO\n"


def script(n, side, database):
    out = [f"create database {database}\nGO\nuse {database}\nGO\n"]
    for i in range(n):
        if side == "empty":
            break
        if side == "narrow":
            out.append(table_sql(f"t{i:05d}", COLUMNS[:5]))
        elif side == "sample":
            out.append(table_sql(f"t{i:05d}", COLUMNS))
        elif i % 100 == 55:
            out.append(table_sql(f"u{i:05d}", COLUMNS))
        else:
            out.append(table_sql(f"t{i:05d}", target_columns(i)))
    return "".join(out)


def expected_rows(n, target="target"):
    if target == "empty":
        return len(COLUMNS) * n
    if target == "narrow":
        return (len(COLUMNS) - 5) * n
    single = sum(1 for i in range(n) if i % 10 == 0)
    swapped = sum(1 for i in range(n) if i % 100 == 55)
    return single + 2 * len(COLUMNS) * swapped


def main(argv):
    if len(argv) in (3, 4) and argv[1] == "expected":
        print(expected_rows(int(argv[2]), *argv[3:]))
        return 0
    if len(argv) != 4 or argv[2] not in ("sample", "target", "empty", "narrow"):
        sys.stderr.write("usage: make_schema.py N sample|target|empty|narrow DATABASE > FILE.sql\n"
                         "       make_schema.py expected N [target|empty|narrow]\n")
        return 2
    sys.stdout.write(script(int(argv[1]), argv[2], argv[3]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
