"""Transactions through pyodbc, unixODBC and FreeTDS, with autocommit on (T-SQL's BEGIN, COMMIT
and ROLLBACK) and off (the driver's transaction manager requests): what a rollback undoes, the
catalogue included, XACT_ABORT, nesting and SQL Server's errors, a dropped connection and a cancel."""
import sys

import pyodbc

from sqlsim_harness import Sqlsim, run_tests
from stack_client import DRIVER, Client, snapshot

SIM = Sqlsim(sys.argv[1], extra=["--database", "S1:shop"])
DB = Client(SIM, database="shop")
ROWS = ["select * from T order by id", "select * from U order by id"]
DB.ok("create table T(id int identity primary key, v nvarchar(10) not null check (v <> 'bad'))")
DB.ok("create table U(id int primary key, t int references T(id)); insert into T(v) values ('a'), ('b'); "
      "insert into U values (1, 1)")

CHANGES = """begin tran
create table N(x int primary key, y nvarchar(5) default 'n')
alter table T add extra int null
create index IX_T_v on T(v)
insert into N(x) values (1)"""


def connect(autocommit=True):
    return pyodbc.connect(f"Driver={DRIVER};Server=127.0.0.1;Port={SIM.port('S1')};UID=sa;PWD=sqlsim;"
                          f"TDS_Version=7.4;Database=shop", autocommit=autocommit, timeout=30)


def trancount(client):
    return client.ok("select @@trancount")[0][0]


def test_rollback_restores_catalogue_and_rows():
    before = snapshot(DB, ROWS)
    DB.ok("begin tran; create table N(x int primary key, y nvarchar(5) default 'n'); insert into N values (1, 'x'); "
          "alter table T add extra int null; create index IX_T_v on T(v); insert into T(v) values ('c'); "
          "update T set v = 'z' where id = 1; delete from U; alter table U drop constraint "
          + DB.ok("select name from sys.foreign_keys")[0][0] + "; drop table U; "
          "begin transaction inner_one; save tran s1; insert into T(v) values ('d')")
    assert trancount(DB) == "2"
    assert DB.ok("select count(*) from T") == [["4"]]
    DB.ok("rollback tran s1")  # to the savepoint: the count stays
    assert trancount(DB) == "2" and DB.ok("select count(*) from T") == [["3"]]
    DB.ok("commit")  # the inner one only counts
    assert trancount(DB) == "1"
    DB.ok("rollback")
    assert trancount(DB) == "0"
    assert snapshot(DB, ROWS) == before
    DB.ok("begin tran t1; insert into T(v) values ('kept'); begin tran; commit; commit tran t1")
    assert DB.ok("select count(*) from T where v = 'kept'") == [["1"]]
    DB.ok("delete from T where v = 'kept'")


def test_failing_statement_and_xact_abort():
    before = snapshot(DB, ROWS)
    # Without XACT_ABORT the failing statement alone is undone and the transaction stays open.
    errors = DB.refused("begin tran; insert into T(v) values ('ok'); insert into T(v) values ('bad'), ('x'); "
                        "insert into T(v) values ('ok2')")
    assert [n for n, _ in errors] == [547]
    assert trancount(DB) == "1" and DB.ok("select v from T where id > 2 order by id") == [["ok"], ["ok2"]]
    DB.ok("rollback")
    # With it, the error rolls back everything before it and ends the batch.
    errors = DB.refused("set xact_abort on; begin tran; create table N(x int); insert into T(v) values ('ok'); "
                        "insert into T(v) values ('bad'); insert into T(v) values ('never')")
    assert [n for n, _ in errors] == [547]
    assert trancount(DB) == "0" and snapshot(DB, ROWS) == before
    DB.ok("set xact_abort off")


def test_errors_and_refusals():
    before = snapshot(DB, ROWS)
    cases = [
        ("commit", [(3902, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.")]),
        ("rollback tran", [(3903, "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.")]),
        ("save tran s", [(628, "Cannot issue SAVE TRANSACTION when there is no active transaction.")]),
        ("begin tran a; rollback tran nope",
         [(6401, "Cannot roll back nope. No transaction or savepoint of that name was found.")]),
        ("create database other",
         [(226, "CREATE DATABASE statement not allowed within multi-statement transaction.")]),
        ("backup database shop to disk = '/tmp/x.bak'",
         [(3021, "Cannot perform a backup or restore operation within a transaction."),
          (3013, "BACKUP DATABASE is terminating abnormally.")]),
        ("exec sp_configure 'show advanced options', 1",
         [(15002, "The procedure 'sys.sp_configure' cannot be executed within a transaction.")]),
        ("reconfigure", [(574, "CONFIG statement cannot be used inside a user transaction.")]),
    ]
    for sql, expected in cases:
        assert DB.refused(sql) == expected, sql
    assert trancount(DB) == "1"  # the one "a" opened: none of those errors ends it
    DB.ok("rollback tran a")
    assert snapshot(DB, ROWS) == before


def test_autocommit_off_isolation_and_locks():
    before = snapshot(DB, ROWS)
    conn = connect(autocommit=False)
    cur = conn.cursor()
    cur.execute("insert into T(v) values ('tx')")
    cur.execute(CHANGES)
    assert cur.execute("select @@trancount").fetchone()[0] == 2
    assert DB.ok("select count(*) from T") == [["2"]]  # others read what was committed
    conn.rollback()
    assert snapshot(DB, ROWS) == before
    cur.execute("insert into T(v) values ('tx')")
    waiting = connect()
    waiting.timeout = 1
    try:  # a writer waits for the open transaction (and fails when it times out first)
        waiting.cursor().execute("insert into T(v) values ('w')")
        raise AssertionError("a writer did not wait for an open transaction")
    except pyodbc.Error:
        pass
    conn.commit()
    assert DB.ok("select v from T where v = 'tx'") == [["tx"]]
    assert cur.execute("select @@trancount").fetchone()[0] == 1  # the driver began the next one
    conn.close()
    DB.ok("delete from T where v = 'tx'")


def test_drop_and_cancel_leave_target_unchanged():
    before = snapshot(DB, ROWS)
    conn = connect()
    conn.cursor().execute("set xact_abort on; " + CHANGES + "; insert into T(v) values ('gone')")
    DB.ok("exec sqlsim_fault 'drop', 1, 'sqlsim_drop_here'")
    try:
        conn.cursor().execute("select 'sqlsim_drop_here'").fetchall()
        raise AssertionError("the connection was not dropped")
    except pyodbc.Error:
        pass
    assert snapshot(DB, ROWS) == before
    conn = connect()
    conn.cursor().execute("set xact_abort on; " + CHANGES)
    DB.ok("exec sqlsim_fault 'stall', 1, 'sqlsim_stall_here', 5")
    conn.timeout = 1
    try:  # the driver's time-out sends an attention
        conn.cursor().execute("insert into T(v) values ('sqlsim_stall_here')")
        raise AssertionError("the stalled batch was not cancelled")
    except pyodbc.Error:
        pass
    conn.timeout = 0
    assert conn.cursor().execute("select @@trancount").fetchone()[0] == 0
    assert snapshot(DB, ROWS) == before
    DB.ok("insert into T(v) values ('after'); delete from T where v = 'after'")  # the store is not held
    conn.close()


run_tests([test_rollback_restores_catalogue_and_rows, test_failing_statement_and_xact_abort,
           test_errors_and_refusals, test_autocommit_off_isolation_and_locks,
           test_drop_and_cancel_leave_target_unchanged])
