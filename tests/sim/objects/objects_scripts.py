"""Scripts as people keep them, through pyodbc -> unixODBC -> FreeTDS -> sqlsim: a generated
script loaded by --init, batch-level IF/ELSE/BEGIN...END, SET options, RAISERROR and the
refusals of what sqlsim does not run."""
import os
import subprocess
import sys
import tempfile

from sqlsim_harness import Sqlsim, run_tests
from stack_client import Client, snapshot

BINARY = sys.argv[1]

GENERATED = """\ufeffSET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
CREATE DATABASE shop
GO
USE shop
GO
IF NOT EXISTS (SELECT * FROM sys.objects WHERE object_id = OBJECT_ID(N'[dbo].[Categories]') AND type in (N'U'))
BEGIN
CREATE TABLE [dbo].[Categories](
\t[CategoryID] [int] IDENTITY(1,1) NOT NULL,
\t[CategoryName] [nvarchar](15) NOT NULL,
\t[Description] [ntext] NULL,
\t[Notes] [text] NULL,
\t[Picture] [image] NULL,
 CONSTRAINT [PK_Categories] PRIMARY KEY ([CategoryID])
)
END
GO
IF NOT EXISTS (SELECT * FROM sys.objects WHERE object_id = OBJECT_ID(N'[dbo].[Categories]') AND type in (N'U'))
CREATE TABLE [dbo].[Categories](x int)
ELSE
  PRINT 'Categories exists'
GO
if exists (select * from sysobjects where id = object_id('dbo.Category List') and sysstat & 0xf = 2)
\tdrop view [dbo].[Category List]
GO
IF NOT EXISTS (SELECT * FROM sys.views WHERE object_id = OBJECT_ID(N'[dbo].[Category List]'))
EXEC dbo.sp_executesql @statement = N'CREATE VIEW [dbo].[Category List] AS SELECT CategoryID, CategoryName FROM dbo.Categories'
GO
SET NOCOUNT ON
INSERT Categories (CategoryName, Description, Notes, Picture)
  VALUES (N'Beverages', N'Soft drinks, coffees, teas, beers, and ales; 饮料和咖啡', 'Notes longer than sixteen characters', 0x0102030405060708090A0B0C0D0E0F1011)
RAISERROR ('%s loaded, %d%% done', 10, 1, N'Categories', 100) WITH NOWAIT
CHECKPOINT
UPDATE STATISTICS dbo.Categories PK_Categories WITH FULLSCAN
IF OBJECT_ID('dbo.Orders', 'U') IS NOT NULL DROP TABLE dbo.Orders
SET ANSI_PADDING OFF
GO
ALTER TABLE [dbo].[Categories] ADD CONSTRAINT [DF_Categories_Name] DEFAULT (N'none') FOR [CategoryName]
GO
SET ANSI_PADDING ON
GO 2
"""


def with_script(text, test):
    with tempfile.NamedTemporaryFile("w", suffix=".sql", delete=False, encoding="utf-8") as f:
        f.write(text)
    try:
        return test(f.name)
    finally:
        os.remove(f.name)


def test_generated_script_loads_and_keeps_long_values():
    def check(path):
        with Sqlsim(BINARY, extra=["--init", f"S1:{path}"]) as sim:
            c = Client(sim, database="shop")
            assert c.ok("select name, xtype from sysobjects where xtype in ('U', 'V') order by name") == [
                ["Categories", "U "], ["Category List", "V "]]
            # text, ntext and image keep more than the 16 bytes syscolumns shows for them.
            assert c.ok("select name, length from syscolumns where id = object_id('Categories') and colid > 2"
                        " order by colid") == [["Description", "16"], ["Notes", "16"], ["Picture", "16"]]
            assert c.ok("select cast(Description as nvarchar(max)), cast(Notes as varchar(100)), "
                        "Picture from Categories") == [
                ["Soft drinks, coffees, teas, beers, and ales; 饮料和咖啡", "Notes longer than sixteen characters",
                 str(bytes(range(1, 18)))]]
    with_script(GENERATED, check)


def test_failing_script_names_its_batch():
    def check(path):
        out = subprocess.run([BINARY, "--server", "S1=127.0.0.1:0", "--init", f"S1:{path}"],
                             capture_output=True, text=True, timeout=30)
        assert out.returncode == 1, out
        assert "batch 3: Msg 208, Level 16, State 1, Line 2: Invalid object name 'nope'." in out.stderr, out.stderr
    with_script("select 1\nGO\nprint 'two'\nGO\n\nif exists (select * from nope) print 'x'\nGO\n", check)


def test_control_flow_runs_the_branch_its_condition_picks():
    with Sqlsim(BINARY) as sim:
        c = Client(sim)
        c.ok("create database flow")
        c = Client(sim, database="flow")
        c.ok("create table t (a int, b ntext)")
        cases = [
            ("if exists (select * from t) select 'rows' else select 'empty'", [["empty"]]),
            ("if not exists (select * from sys.objects where name = 't' and type = 'U') select 1 "
             "else begin select 2 select case when 1 = 1 then 3 else 4 end end", [["2"], ["3"]]),
            ("if object_id('dbo.t', 'U') is not null begin insert t values (1, N'x') insert t values (2, N'y') end",
             []),
            ("if object_id('dbo.t', 'V') is not null select 'view' else if (select count(*) from t) = 2 select 'two'",
             [["two"]]),
            ("if 1 = 0 begin select 1 end select 'after'", [["after"]]),
            ("exec sp_executesql N'select count(*) from t'", [["2"]]),
            # Generated scripts switch these off around objects they created so.
            ("set ansi_nulls off set quoted_identifier off", []),
            ("if object_id('t') is not null update t set b = null where a = 2 select \"text\", a from t where b is null",
             [["text", "2"]]),
            ("set ansi_nulls on set quoted_identifier on", []),
        ]
        for sql, rows in cases:
            assert c.ok(sql) == rows, (sql, c.ok(sql))
        # XACT_ABORT ON: a run-time error ends the batch; OFF: the batch goes on.
        c.ok("create table xa (a int)")
        c.run("set xact_abort on insert xa values (1) insert xa values ('x') insert xa values (2)")
        c.run("set xact_abort off insert xa values (3) insert xa values (4/0) insert xa values (5)")
        assert c.ok("select a from xa order by a") == [["1"], ["3"], ["5"]]
        # RAISERROR up to severity 10 and PRINT are messages; 11 and up an error.
        c.run("raiserror('%s: %d of %i', 10, 2, 'info', 1, -2) print N'printed'")
        infos = [(e["number"], e["severity"], e["state"], e["text"]) for e in sim.events() if e["event"] == "info"]
        assert infos[-2:] == [(50000, 10, 2, "info: 1 of -2"), (0, 0, 1, "printed")], infos
        assert c.refused("raiserror(N'stop %s', 16, 1) with log") == [(50000, "stop (null)")]


def test_refusals_change_nothing():
    with Sqlsim(BINARY) as sim:
        c = Client(sim)
        c.ok("create database refuse")
        c = Client(sim, database="refuse")
        c.ok("create table t (a int primary key)")
        unsupported = "is not supported by sqlsim."
        cases = [
            ("if 1 = 1 begin create table z (a int) while 1 = 0 select 1 end", [(50000, f"The WHILE statement {unsupported}")]),
            ("begin try create table z (a int) end try begin catch select 1 end catch",
             [(50000, f"TRY...CATCH {unsupported}")]),
            ("if 1 = 1 create view v as select 1", [(156, "Incorrect syntax near the keyword 'view'.")]),
            ("create table z (a int) end", [(156, "Incorrect syntax near the keyword 'end'.")]),
            ("if 1 = 1 begin create table z (a int)", [(102, "Incorrect syntax near ')'.")]),
            ("else create table z (a int)", [(156, "Incorrect syntax near the keyword 'else'.")]),
            ("if exists (select * from nope) create table z (a int)", [(208, "Invalid object name 'nope'.")]),
            ("set ansi_nulls off select a from t where a <> null set ansi_nulls on",
             [(50000, f"A comparison with NULL under SET ANSI_NULLS OFF {unsupported}")]),
            ("set quoted_identifier, concat_null_yields_null off",
             [(50000, f"SET CONCAT_NULL_YIELDS_NULL OFF {unsupported}")]),
            ("set parseonly on", [(50000, f"SET PARSEONLY ON {unsupported}")]),
            ("select 1 merge t using t s on t.a = s.a when matched then delete;",
             [(50000, f"The merge statement {unsupported}")]),
            ("set rowcount 10", [(50000, f"SET ROWCOUNT 10 {unsupported}")]),
            ("set dateformat dmy", [(50000, f"SET DATEFORMAT dmy (dates are read as us_english reads them) {unsupported}")]),
            ("set ansi_padding off create table z (a int, b [varchar](5)) set ansi_padding on",
             [(50000, f"A varchar column made under SET ANSI_PADDING OFF {unsupported}")]),
            ("raiserror('fatal', 19, 1)", [(2754, "Error severity levels greater than 18 can only be specified by "
                                                 "members of the sysadmin role, using the WITH LOG option.")]),
            ("update statistics nope", [(208, "Invalid object name 'nope'.")]),
            ("update statistics t ix_none", [(2767, "Could not locate statistics 'ix_none' in the system catalogs.")]),
            ("exec sp_executesql 'create table z (a int)'",
             [(214, "Procedure expects parameter '@statement' of type 'ntext/nchar/nvarchar'.")]),
            ("exec sp_executesql N'create table z (a int)', N'@p int', 1", [(50000, f"sp_executesql with parameters {unsupported}")]),
        ]
        before = snapshot(c)
        for sql, errors in cases:
            assert c.refused(sql) == errors, (sql, c.refused(sql))
            assert snapshot(c) == before, sql


if __name__ == "__main__":
    run_tests([test_generated_script_loads_and_keeps_long_values, test_failing_script_names_its_batch,
               test_control_flow_runs_the_branch_its_condition_picks, test_refusals_change_nothing])
