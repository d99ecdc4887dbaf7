"""A table rebuilt under a new name and renamed back (sp_rename), IDENTITY_INSERT numbering, and
scripts that stop after their first failing batch (SET NOEXEC), through pyodbc and FreeTDS."""
import sys

from sqlsim_harness import Sqlsim, run_tests
from stack_client import Client, snapshot

SIM = Sqlsim(sys.argv[1], extra=["--database", "S1:shop"])
DB = Client(SIM, database="shop")
DB.ok("create table parent(id int primary key)")
DB.ok("insert into parent values (1)")
DB.ok("""create table tmp_x(id int identity(1,1) constraint PK_tmp_x primary key,
  v nvarchar(10) not null constraint DF_tmp_x_v default 'd' constraint CK_tmp_x_v check (v <> 'bad'),
  w int null, p int null constraint FK_tmp_x_parent references parent(id))""")
DB.ok("create index IX_tmp_x_w on tmp_x(w)")
DB.ok("create table child(c int primary key, x_id int constraint FK_child_x references tmp_x(id))")
DB.ok("insert into tmp_x(v, w, p) values ('a', 1, 1), ('b', 2, null), ('c', 3, 1); insert into child values (1, 2)")
DB.ok("exec sp_addextendedproperty 'note', 'kept', 'schema', 'dbo', 'table', 'tmp_x', 'column', 'w'")
DB.ok("create trigger TR_tmp_x on tmp_x after insert as select 1")
DB.ok("disable trigger TR_tmp_x on tmp_x")

CATALOGUE = ["select name, parent_object_id, referenced_object_id from sys.foreign_keys",
             "select name, parent_object_id, definition from sys.check_constraints",
             "select name, parent_object_id, parent_column_id from sys.default_constraints",
             "select object_id, name, index_id, is_primary_key from sys.indexes",
             "select name, parent_id, is_disabled from sys.triggers",
             "select major_id, minor_id, name, value from sys.extended_properties",
             "select constid, fkeyid, rkeyid, fkey, rkey from sysforeignkeys",
             "select name, parent_obj, xtype from sysobjects"]
ROWS = "select id, v, w, p from x order by id"


def infos(number):
    return [(e["number"], e["severity"], e["text"]) for e in SIM.events()
            if e["event"] == "info" and e["number"] == number]


def catalogue():
    return [sorted(rows, key=str) for rows in snapshot(DB, CATALOGUE)]


def trancount():
    return DB.ok("select @@trancount")[0][0]


def test_table_keeps_everything_under_its_new_name():
    table_id = DB.ok("select object_id('tmp_x')")[0][0]
    before = [[["x" if v == "tmp_x" else v for v in row] for row in rows] for rows in catalogue()]
    rows = DB.ok("select id, v, w, p from tmp_x order by id")
    DB.ok("exec sp_rename N'[dbo].[tmp_x]', N'x'")
    assert infos(15477)[-1] == (15477, 10, "Caution: Changing any part of an object name could break scripts and "
                                           "stored procedures.")
    assert DB.ok("select object_id('x'), object_id('tmp_x')") == [[table_id, None]]
    assert catalogue() == before and DB.ok(ROWS) == rows
    assert DB.ok("select object_name(parent_id) from sys.triggers") == [["x"]]
    assert DB.ok("select t.name from sysobjects t join sysobjects k on k.parent_obj = t.id "
                 "where k.name = 'PK_tmp_x'") == [["x"]]
    # Identity, default, checks and keys both ways go on working under the new name.
    DB.ok("insert into x(w) values (4)")
    assert DB.ok("select id, v from x where w = 4") == [["4", "d"]]
    assert DB.refused("insert into x(v) values ('bad')")[0][1].endswith('table "dbo.x", column \'v\'.')
    assert 'table "dbo.x", column \'id\'.' in DB.refused("insert into child values (2, 99)")[0][1]
    assert "child" in DB.refused("delete from x where id = 2")[0][1]
    assert 'table "dbo.parent"' in DB.refused("insert into x(v, p) values ('e', 7)")[0][1]
    DB.ok("exec sp_rename @objname = 'x.w', @newname = 'width', @objtype = 'COLUMN'")
    DB.ok("exec sp_rename 'dbo.x.width', 'Width'")
    assert DB.ok("select name from sys.columns where object_id = object_id('x') and column_id = 3") == [["Width"]]
    assert DB.ok("select id from x where Width = 3") == [["3"]]
    assert DB.ok("select count(*) from sys.index_columns where object_id = object_id('x') and column_id = 3") \
        == [["1"]]
    DB.ok("exec sp_rename 'x.Width', 'w', 'column'")


def test_rename_in_a_rolled_back_transaction():
    DB.ok("create table other(id int identity)")
    before = catalogue()
    rows = DB.ok(ROWS)
    DB.ok("set identity_insert x on")
    DB.ok("begin tran; exec sp_rename 'x', 'y'; insert into y(id, v) values (50, 'in');"
          "exec sp_rename 'y.w', 'ww', 'COLUMN'")
    assert DB.ok("select count(*) from y where v = 'in' and ww is null") == [["1"]]
    # IDENTITY_INSERT stays with the table and names it as it is called now.
    assert DB.refused("set identity_insert other on")[0] == \
        (8107, "IDENTITY_INSERT is already ON for table 'shop.dbo.y'. Cannot perform SET operation for table 'other'.")
    DB.ok("rollback")
    assert trancount() == "0" and catalogue() == before and DB.ok(ROWS) == rows
    assert DB.ok("select object_id('y')") == [[None]]
    assert DB.refused("set identity_insert other on")[0][1].startswith("IDENTITY_INSERT is already ON for table "
                                                                       "'shop.dbo.x'.")
    DB.ok("set identity_insert x off; drop table other")


def test_identity_insert_then_next_value():
    for transaction in (False, True):
        DB.ok("create table old_t(id int not null primary key, v int); insert into old_t values (1, 1), (2, 2), (7, 3)")
        rebuild = ["create table tmp_t(id int identity(1,1) not null primary key, v int)",
                   "set identity_insert tmp_t on", "insert into tmp_t(id, v) select id, v from old_t",
                   "set identity_insert tmp_t off", "drop table old_t", "exec sp_rename 'dbo.tmp_t', 'old_t'"]
        if transaction:
            rebuild = ["begin transaction"] + rebuild + ["commit transaction"]
        for sql in rebuild:
            DB.ok(sql)
        DB.ok("insert into old_t(v) values (4)")
        assert DB.ok("select id, v from old_t order by id") == [["1", "1"], ["2", "2"], ["7", "3"], ["8", "4"]]
        assert trancount() == "0"
        DB.ok("drop table old_t")


def test_rename_errors():
    before = catalogue()
    DB.ok("create view v_bound with schemabinding as select id, v from dbo.x")
    ambiguous = "Either the parameter @objname is ambiguous or the claimed @objtype ({}) is wrong."
    in_use = "Error: The new name '{}' is already in use as a {} name and would cause a duplicate that is not permitted."
    enforced = "Object '{}' cannot be renamed because the object participates in enforced dependencies."
    cases = [
        ("'nosuch', 'y'", 15225, "No item by the name of 'nosuch' could be found in the current database 'shop', "
                                 "given that @itemtype was input as '(null)'."),
        ("'dbo.nosuch', 'y'", 15248, ambiguous.format("(null)")),
        ("'x.nocol', 'y', 'COLUMN'", 15248, ambiguous.format("COLUMN")),
        ("'x', 'child'", 15335, in_use.format("child", "object")),
        ("'x.p', 'w', 'COLUMN'", 15335, in_use.format("w", "COLUMN")),
        ("'x', 'y'", 15336, enforced.format("x")),
        ("'x.v', 'vv', 'COLUMN'", 15336, enforced.format("x.v")),
        ("'x', 'y', 'TABLE'", 15249, "Error: Explicit @objtype 'TABLE' is unrecognized."),
        ("'[x', 'y'", 15253, "Syntax error parsing SQL identifier '[x'."),
        ("'x'", 201, "Procedure or function 'sp_rename' expects parameter '@newname', which was not supplied."),
        ("'x.IX_tmp_x_w', 'IX_x_w'", 50000, "sp_rename of an index or statistics is not supported by sqlsim."),
        ("'PK_tmp_x', 'PK_x'", 50000, "sp_rename of a constraint (PK_tmp_x) is not supported by sqlsim."),
        ("'v_bound', 'v_y'", 50000, "sp_rename of a view (v_bound) is not supported by sqlsim."),
    ]
    for args, number, text in cases:
        assert DB.refused("exec sp_rename " + args) == [(number, text)], args
    DB.ok("drop view v_bound")
    assert DB.refused("exec sp_rename 'x.v', 'vv', 'COLUMN'") == \
        [(50000, "sp_rename of a column that a CHECK constraint reads (v) is not supported by sqlsim.")]
    assert catalogue() == before


def run_script(batches):
    """Runs a script batch by batch on one connection, as the tool does; returns rows and errors."""
    rows, errors = [], []
    for batch in filter(None, batches.split("\nGO\n")):
        r, e = DB.run(batch)
        rows += r
        errors += e
    return rows, errors


GUARDED = """SET XACT_ABORT ON
GO
BEGIN TRANSACTION
GO
insert into parent values (2)
GO
IF @@TRANCOUNT = 0 SET NOEXEC ON
GO
{middle}
GO
IF @@TRANCOUNT = 0 SET NOEXEC ON
GO
select 'after the middle'; select * from nosuch
GO
SET XACT_ABORT OFF
GO
create table later(id int)
GO
IF @@TRANCOUNT = 0 SET NOEXEC ON
GO
COMMIT TRANSACTION
GO
SET NOEXEC OFF
GO
"""


def test_script_stops_after_its_first_failing_batch():
    before = snapshot(DB, ["select id from parent"])
    rows, errors = run_script(GUARDED.format(middle="insert into parent values (1)"))
    assert [n for n, _ in errors] == [2627] and rows == [], (rows, errors)
    assert trancount() == "0" and snapshot(DB, ["select id from parent"]) == before
    assert DB.ok("select 'runs again'") == [["runs again"]]
    # The skipped SET XACT_ABORT OFF did not run: an error still rolls back and ends the batch.
    DB.refused("begin tran; insert into parent values (3); insert into parent values (3); insert into parent values (4)")
    assert trancount() == "0" and DB.ok("select count(*) from parent where id > 1") == [["0"]]
    DB.ok("set xact_abort off")


def test_script_without_failure_commits():
    rows, errors = run_script(GUARDED.format(middle="insert into parent values (3)").replace(
        "; select * from nosuch", ""))
    assert errors == [] and rows == [["after the middle"]], (rows, errors)
    assert trancount() == "0"
    assert DB.ok("select id from parent order by id") == [["1"], ["2"], ["3"]]
    assert DB.ok("select count(*) from sys.tables where name = 'later'") == [["1"]]
    DB.ok("set xact_abort off; drop table later; delete from parent where id > 1")


run_tests([test_table_keeps_everything_under_its_new_name, test_rename_in_a_rolled_back_transaction,
           test_identity_insert_then_next_value, test_rename_errors, test_script_stops_after_its_first_failing_batch,
           test_script_without_failure_commits])
