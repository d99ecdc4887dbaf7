#!/usr/bin/env python3
"""Writes the T-SQL of a schema with every kind of object, for the synchronisation of all.

N tables, each with a primary key, a unique index and a second index (by turns filtered or
with included columns), two named defaults, a check and a foreign key to an earlier table;
every fifth table also gets a foreign key to a later one, added once both exist. N/2 views in
chains of five, where the head of each chain is first created alone and then altered to read
a view created after it, so creation order is not dependency order. N/2 procedures, N/10
functions (scalar and inline by turns), N/10 triggers, and three alias types used by the
tables' columns.

  make_objects.py N DATABASE > FILE.sql   the whole script (sqlsim --init, or the bare client)
  make_objects.py empty DATABASE          only the database, for the target
  make_objects.py count N                 how many objects the script creates, by kind
"""
import sys

CHAIN = 5


def counts(n):
    return {"tables": n, "views": n // 2, "procedures": n // 2, "functions": n // 10,
            "triggers": n // 10, "types": 3}


def header(database):
    return f"create database {database}\nGO\nuse {database}\nGO\n"


def table_sql(i):
    ref = f"\n    , constraint FK_t{i:05d}_parent foreign key (parent_id) references dbo.t{i // 2:05d} (id)" if i else ""
    return (
        f"create table dbo.t{i:05d} (\n"
        f"    id int not null constraint PK_t{i:05d} primary key,\n"
        f"    code dbo.Code not null,\n"
        f"    name nvarchar(100) null,\n"
        f"    amount dbo.Amount null constraint DF_t{i:05d}_amount default (0),\n"
        f"    qty int not null constraint DF_t{i:05d}_qty default (1),\n"
        f"    phone dbo.Phone null,\n"
        f"    parent_id int null,\n"
        f"    other_id int null,\n"
        f"    created datetime null,\n"
        f"    constraint CK_t{i:05d}_qty check (qty >= 0){ref}\n"
        f")\nGO\n"
        f"create unique index UX_t{i:05d}_code on dbo.t{i:05d} (code)\nGO\n"
        + (f"create index IX_t{i:05d}_name on dbo.t{i:05d} (name) where name is not null\nGO\n" if i % 2 == 0 else
           f"create index IX_t{i:05d}_parent on dbo.t{i:05d} (parent_id, qty desc) include (name, amount)\nGO\n")
    )


def forward_key(i, n):
    return (f"alter table dbo.t{i:05d} add constraint FK_t{i:05d}_other foreign key (other_id) "
            f"references dbo.t{(i + n // 2 + 1) % n:05d} (id)\nGO\n")


def view_body(v, n):
    """The select of view v: the last of its chain reads a table, the others the next view."""
    table = f"dbo.t{v % n:05d}"
    if v % CHAIN == CHAIN - 1 or v + 1 >= n // 2:
        return f"select id, code, name, qty from {table} where qty > {v % 7}"
    return f"select id, code, name, qty + 1 as qty from dbo.v{v + 1:05d}"


def views_sql(n):
    out = []
    nv = n // 2
    for start in range(0, nv, CHAIN):
        chain = list(range(start, min(start + CHAIN, nv)))
        head = chain[0]
        # The head first reads its table; once the rest of the chain exists it reads the next.
        out.append(f"create view dbo.v{head:05d} as\n"
                   f"select id, code, name, qty from dbo.t{head % n:05d}\nGO\n")
        for v in reversed(chain[1:]):
            out.append(f"create view dbo.v{v:05d} as\n{view_body(v, n)}\nGO\n")
        if len(chain) > 1:
            out.append(f"alter view dbo.v{head:05d} as\n{view_body(head, n)}\nGO\n")
    return out


def function_sql(k, n):
    if k % 2 == 0:
        return (f"create function dbo.f{k:05d} (@x int)\nreturns int\nas\nbegin\n"
                f"    return @x * {k + 2} + 1\nend\nGO\n")
    return (f"create function dbo.f{k:05d} (@min int)\nreturns table\nas\n"
            f"return (select id, name from dbo.t{k % n:05d} where qty >= @min)\nGO\n")


def procedure_sql(k, n):
    nf = n // 10
    body = f"    select id, code, name from dbo.v{k:05d} where id = @id"
    if nf and k % 3 == 0:
        f = (k // 3) % nf
        body += (f"\n    select dbo.f{f:05d}(@id) as value" if f % 2 == 0 else
                 f"\n    select id, name from dbo.f{f:05d}(@id)")
    return (f"create procedure dbo.p{k:05d} @id int, @name nvarchar(100) = null\nas\nbegin\n"
            f"    set nocount on\n{body}\nend\nGO\n")


def trigger_sql(k, n):
    t = (k * 10 + 3) % n
    return (f"create trigger dbo.tr{k:05d} on dbo.t{t:05d} after insert, update\nas\nbegin\n"
            f"    set nocount on\n"
            f"    update dbo.t{t:05d} set created = getdate() where id in (select id from inserted)\nend\nGO\n")


def script(n, database):
    out = [header(database),
           "create type dbo.Code from varchar(20) not null\nGO\n",
           "create type dbo.Amount from decimal(12, 2) null\nGO\n",
           "create type dbo.Phone from nvarchar(24) null\nGO\n"]
    out += [table_sql(i) for i in range(n)]
    out += [forward_key(i, n) for i in range(0, n, 5)]
    out += [function_sql(k, n) for k in range(n // 10)]
    out += views_sql(n)
    out += [procedure_sql(k, n) for k in range(n // 2)]
    out += [trigger_sql(k, n) for k in range(n // 10)]
    return "".join(out)


def main(argv):
    if len(argv) == 3 and argv[1] == "count":
        print(" ".join(f"{k}={v}" for k, v in counts(int(argv[2])).items()))
        return 0
    if len(argv) == 3 and argv[1] == "empty":
        sys.stdout.write(header(argv[2]))
        return 0
    if len(argv) != 3 or not argv[1].isdigit() or int(argv[1]) < 10:
        sys.stderr.write("usage: make_objects.py N DATABASE > FILE.sql   (N >= 10)\n"
                         "       make_objects.py empty DATABASE | count N\n")
        return 2
    sys.stdout.write(script(int(argv[1]), argv[2]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
