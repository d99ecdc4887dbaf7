"""Alias types through pyodbc: what keeps DROP TYPE from running, and moving a column off an
alias type and back onto a re-created one while the column holds rows."""
import sys

from sqlsim_harness import Sqlsim, run_tests
from stack_client import Client, snapshot

BINARY = sys.argv[1]

TYPES = ["select name, system_type_id, user_type_id, max_length, is_nullable from sys.types "
         "where is_user_defined = 1 order by user_type_id",
         "select object_id, name, parameter_id, user_type_id from sys.parameters order by object_id, parameter_id",
         "select object_id, definition from sys.sql_modules order by object_id"]


def start():
    sim = Sqlsim(BINARY, extra=["--database", "S1:shop"])
    client = Client(sim, database="shop")
    client.ok("create type Code from varchar(10) not null")
    # Code as a column, alias, variable and string name: none of these use the type.
    client.ok("create table Items (ItemID int not null, Code int)")
    client.ok("create procedure Harmless @Code int as declare @Code2 int, @c cursor; select Code, 'Code' as Code, "
              "cast(1 as int) as Code from Items; select @Code as Code; select @Code2 Code")
    client.ok("create function dbo.Harmless2() returns @t table (Code int, Twice as Code * 2) as begin "
              "declare @a int = 1, @b varchar(10) select @a as Code; return end")
    return sim, client


def refusal(user):
    return [(3732, f"Cannot drop type 'Code' because it is being referenced by object '{user}'. "
                   "There may be other objects that reference this type.")]


def test_drop_type_refused_while_anything_uses_it():
    sim, c = start()
    with sim:
        # Outside modules a conversion to the type runs as one to its base.
        assert c.ok("select cast('abcdefghijkl' as dbo.Code), convert(Code, 12)") == [["abcdefghij", "12"]]
        users = [
            ("Shops", "create table Shops (ShopID int, Tag dbo.Code null)", "drop table Shops"),
            ("ByParameter", "create procedure ByParameter @a int, @b [dbo].[Code] = 'x' output as select 1",
             "drop procedure ByParameter"),
            ("ScalarReturn", "create function ScalarReturn(@a int) returns Code as begin return 'x' end",
             "drop function ScalarReturn"),
            ("TableReturn", "create function TableReturn() returns @t table (id int, c Code not null) as "
                            "begin return end", "drop function TableReturn"),
            ("Declares", "create procedure Declares as declare @a int = (select count(*) from Items), "
                         "@b as dbo.[Code]; select @b", "drop procedure Declares"),
            ("TableVariable", "create trigger TableVariable on Items after insert as "
                              "declare @t table (id int primary key, c Code) select 1", "drop trigger TableVariable"),
            ("Casts", "create view Casts as select cast(ItemID as Code) as c from Items", "drop view Casts"),
            ("Converts", "create function dbo.Converts() returns table with schemabinding as "
                         "return select convert(dbo.Code, ItemID) as c from dbo.Items", "drop function dbo.Converts"),
        ]
        for user, create, drop in users:
            c.ok(create)
            before = snapshot(c, TYPES)
            assert c.refused("drop type Code") == refusal(user), user
            assert c.refused("drop type if exists dbo.Code") == refusal(user), user
            assert snapshot(c, TYPES) == before, user
            c.ok(drop)
        # The earliest user is named when several are left.
        c.ok("create procedure Later @b Code as select 1")
        c.ok("alter procedure Harmless @x int as declare @v Code select 1")
        assert c.refused("drop type Code") == refusal("Harmless")
        c.ok("alter procedure Harmless @x int as select 1")
        assert c.refused("drop type Code") == refusal("Later")
        c.ok("drop procedure Later")
        # A check may not convert to an alias type: DROP TYPE would not see it.
        assert c.refused("alter table Items add constraint CK_Code check (cast(Code as Code) <> '')") == [
            (50000, "CAST or CONVERT to an alias type in a CHECK constraint is not supported by sqlsim.")]
        c.ok("alter table Items add constraint CK_Code check (cast(Code as varchar(10)) <> '')")
        c.ok("drop type Code")
        assert c.ok(TYPES[0]) == []
        c.ok("create type Code from int")
        assert [r[:2] + r[3:] for r in c.ok(TYPES[0])] == [["Code", "56", "4", "True"]]


def columns(c):
    """Parts' columns with the type each names, as sys.columns and syscolumns show them."""
    return (c.ok("select c.name, c.system_type_id, t.name, c.max_length, cast(c.is_nullable as int) "
                 "from sys.columns c join sys.types t on t.user_type_id = c.user_type_id "
                 "where c.object_id = object_id('Parts') order by c.column_id"),
            c.ok("select c.name, c.xtype, t.name, c.length from syscolumns c "
                 "join systypes t on t.xusertype = c.xusertype where c.id = object_id('Parts') order by c.colid"))


def test_column_moves_off_an_alias_type_and_back_in_one_transaction():
    sim, c = start()
    with sim:
        c.ok("create table Parts (PartID int not null, Tag Code, Note Code null)")
        c.ok("insert into Parts values (1, 'abcdefgh', NULL), (2, 'xy', 'note')")
        c.ok("begin transaction")
        c.ok("alter table Parts alter column Tag varchar(10) not null")
        c.ok("alter table Parts alter column Note varchar(10) null")
        assert columns(c) == ([["PartID", "56", "int", "4", "0"], ["Tag", "167", "varchar", "10", "0"],
                               ["Note", "167", "varchar", "10", "1"]],
                              [["PartID", "56", "int", "4"], ["Tag", "167", "varchar", "10"],
                               ["Note", "167", "varchar", "10"]])
        c.ok("drop type Code")
        c.ok("create type Code from varchar(6) not null")
        # The new length is too short for a row: nothing changes and the transaction goes on.
        truncated = [(2628, "String or binary data would be truncated in table 'shop.dbo.Parts', column 'Tag'. "
                            "Truncated value: 'abcdef'.")]
        assert c.refused("alter table Parts alter column Tag [dbo].[Code] not null") == truncated
        assert c.ok("select @@trancount, max(len(Tag)) from Parts") == [["1", "8"]]
        assert columns(c)[0][1] == ["Tag", "167", "varchar", "10", "0"]
        c.ok("update Parts set Tag = 'abcdef' where PartID = 1")
        c.ok("alter table Parts alter column Tag [dbo].[Code] not null")
        c.ok("alter table Parts alter column Note Code null")
        assert columns(c) == ([["PartID", "56", "int", "4", "0"], ["Tag", "167", "Code", "6", "0"],
                               ["Note", "167", "Code", "6", "1"]],
                              [["PartID", "56", "int", "4"], ["Tag", "167", "Code", "6"], ["Note", "167", "Code", "6"]])
        assert [r[:2] + r[3:] for r in c.ok(TYPES[0])] == [["Code", "167", "6", "False"]]
        c.ok("commit")
        assert c.ok("select PartID, Tag, Note from Parts order by PartID") == [
            ["1", "abcdef", None], ["2", "xy", "note"]]
        assert c.refused("drop type Code") == refusal("Parts")


def test_moving_a_column_with_dependents_is_refused():
    sim, c = start()
    with sim:
        c.ok("create table Parts (PartID int not null, Tag Code constraint DF_Tag default 'none', "
             "Ref Code null, constraint PK_Parts primary key (PartID))")
        c.ok("create index IX_Ref on Parts (Ref)")
        c.ok("insert into Parts (PartID, Ref) values (1, 'r')")
        before = snapshot(c, TYPES)
        for column, dependent in [("Tag", "object 'DF_Tag'"), ("Ref", "index 'IX_Ref'")]:
            assert c.refused(f"alter table Parts alter column {column} varchar(10) null") == [
                (5074, f"The {dependent} is dependent on column '{column}'."),
                (4922, f"ALTER TABLE ALTER COLUMN {column} failed because one or more objects access this column.")]
            assert snapshot(c, TYPES) == before, column
        # The tool drops the dependents first, then moves the columns.
        c.ok("alter table Parts drop constraint DF_Tag; drop index IX_Ref on Parts")
        c.ok("alter table Parts alter column Tag varchar(10) not null")
        c.ok("alter table Parts alter column Ref varchar(10) null")
        c.ok("drop type Code")
        assert c.ok("select PartID, Tag, Ref from Parts") == [["1", "none", "r"]]


if __name__ == "__main__":
    run_tests([test_drop_type_refused_while_anything_uses_it,
               test_column_moves_off_an_alias_type_and_back_in_one_transaction,
               test_moving_a_column_with_dependents_is_refused])
