"""CHECK and FOREIGN KEY constraints through pyodbc, unixODBC and FreeTDS: the catalogue they
leave, the rows they hold, the actions they carry out and SQL Server's refusals about them."""
import sys

from sqlsim_harness import Sqlsim, run_tests
from stack_client import Client, snapshot

SIM = Sqlsim(sys.argv[1], extra=["--database", "S1:shop"])
DB = Client(SIM, database="shop")
STATE = ["select name, parent_column_id, is_disabled, is_not_trusted, definition from sys.check_constraints "
         "order by name",
         "select name, is_disabled, is_not_trusted, delete_referential_action_desc, "
         "update_referential_action_desc from sys.foreign_keys order by name"]


def rows(sql):
    return [tuple(r) for r in DB.ok(sql)]


def conflict(verb, kind, name, table, column=None):
    tail = f", column '{column}'." if column else "."
    return (547, f'The {verb} statement conflicted with the {kind} constraint "{name}". '
                 f'The conflict occurred in database "shop", table "dbo.{table}"{tail}')


def test_catalogue_holds_checks_and_keys_as_stored():
    DB.ok("create table Customers (CustomerID nchar(5) primary key check (CustomerID like '[A-Z][A-Z][A-Z][A-Z][A-Z]'),"
          " Region varchar(10) constraint CK_Customers_Region check (Region in ('N', 'S')))")
    DB.ok("create table Orders (OrderID int primary key, CustomerID nchar(5) references Customers on update cascade,"
          " OrderDate datetime, ShippedDate datetime, Discount real,"
          " constraint CK_Orders_Dates check (ShippedDate is null or ShippedDate >= OrderDate),"
          " check (Discount between 0 and 1))")
    checks = rows("select c.name, c.parent_column_id, c.definition, c.is_system_named, o.xtype, m.text "
                  "from sys.check_constraints c join sysobjects o on o.id = c.object_id "
                  "join syscomments m on m.id = c.object_id order by c.object_id")
    assert [c[1:] for c in checks] == [
        ("1", "([CustomerID] like '[A-Z][A-Z][A-Z][A-Z][A-Z]')", "True", "C ",
         "([CustomerID] like '[A-Z][A-Z][A-Z][A-Z][A-Z]')"),
        ("2", "([Region]='S' OR [Region]='N')", "False", "C ", "([Region]='S' OR [Region]='N')"),
        ("0", "([ShippedDate] IS NULL OR [ShippedDate]>=[OrderDate])", "False", "C ",
         "([ShippedDate] IS NULL OR [ShippedDate]>=[OrderDate])"),
        ("5", "([Discount]>=(0) AND [Discount]<=(1))", "True", "C ", "([Discount]>=(0) AND [Discount]<=(1))"),
    ], checks
    assert checks[0][0].startswith("CK__Customers__Custo__") and checks[3][0].startswith("CK__Orders__")
    # A stored definition, written again, is stored the same.
    DB.ok("alter table Orders add constraint CK_Again check (([ShippedDate] IS NULL OR [ShippedDate]>=[OrderDate]))")
    assert rows("select definition from sys.check_constraints where name = 'CK_Again'") == [
        ("([ShippedDate] IS NULL OR [ShippedDate]>=[OrderDate])",)]
    keys = rows("select f.name, f.referenced_object_id - object_id('Customers'), f.key_index_id, f.is_system_named, "
                "f.delete_referential_action, f.update_referential_action_desc, c.constraint_column_id, "
                "c.parent_column_id, c.referenced_column_id from sys.foreign_keys f "
                "join sys.foreign_key_columns c on c.constraint_object_id = f.object_id")
    assert len(keys) == 1 and keys[0][0].startswith("FK__Orders__Custo") and keys[0][1:] == (
        "0", "1", "True", "0", "CASCADE", "1", "2", "1"), keys
    # Disabled, enabled again untrusted, then checked and trusted.
    DB.ok("alter table Orders nocheck constraint all")
    DB.ok("alter table Orders check constraint CK_Orders_Dates")
    assert rows("select name, is_disabled, is_not_trusted from sys.check_constraints where name in "
                "('CK_Again', 'CK_Orders_Dates') order by name") == [
        ("CK_Again", "True", "True"), ("CK_Orders_Dates", "False", "True")]
    DB.ok("alter table Orders with check check constraint all")
    assert rows("select count(*) from sys.check_constraints where is_disabled = 1 or is_not_trusted = 1") == [("0",)]
    DB.ok("alter table Orders drop constraint CK_Again")
    assert rows("select count(*) from syscomments where id = object_id('CK_Again')") == [("0",)]


def test_rows_obey_checks_and_keys():
    DB.ok("insert into Customers values ('ALFKI', 'N'), ('BONAP', null)")
    assert DB.refused("insert into Customers values ('bad', 'N')") == [
        conflict("INSERT", "CHECK", rows("select name from sys.check_constraints where parent_column_id = 1 and "
                                         "parent_object_id = object_id('Customers')")[0][0], "Customers",
                 "CustomerID")]
    assert any(e["event"] == "info" and e["number"] == 3621 for e in SIM.events())
    DB.ok("insert into Orders values (1, 'ALFKI', '2020-01-01', null, 0.5), (2, null, null, null, null)")
    assert DB.refused("update Orders set ShippedDate = '2019-01-01' where OrderID = 1") == [
        conflict("UPDATE", "CHECK", "CK_Orders_Dates", "Orders")]
    fk = rows("select name from sys.foreign_keys where parent_object_id = object_id('Orders')")[0][0]
    assert DB.refused("insert into Orders values (3, 'NOONE', null, null, 0)") == [
        conflict("INSERT", "FOREIGN KEY", fk, "Customers", "CustomerID")]
    assert DB.refused("delete from Customers where CustomerID = 'ALFKI'") == [
        conflict("DELETE", "REFERENCE", fk, "Orders", "CustomerID")]
    # ON UPDATE CASCADE carries the new key; a disabled constraint holds nothing.
    DB.ok("update Customers set CustomerID = 'ALFKA' where CustomerID = 'ALFKI'")
    assert rows("select CustomerID from Orders where OrderID = 1") == [("ALFKA",)]
    DB.ok("alter table Customers nocheck constraint CK_Customers_Region")
    DB.ok("insert into Customers values ('CACTU', 'W')")
    DB.ok("alter table Customers check constraint CK_Customers_Region")
    DB.ok("update Customers set CustomerID = 'CACTA' where CustomerID = 'CACTU'")  # Region not checked again


def test_actions_run_through_levels():
    DB.ok("create table Cat (id int primary key)")
    DB.ok("create table Prod (id int primary key, cat int default 1 references Cat on delete set default, "
          "sup int null)")
    DB.ok("create table Sup (id int primary key)")
    DB.ok("alter table Prod add constraint FK_Prod_Sup foreign key (sup) references Sup(id) on delete set null")
    DB.ok("create table Line (id int primary key, prod int references Prod(id) on delete cascade on update cascade)")
    DB.ok("create table Note (id int primary key, line int references Line(id) on delete cascade)")
    DB.ok("insert into Cat values (1), (2)")
    DB.ok("insert into Sup values (7)")
    DB.ok("insert into Prod values (10, 2, 7), (11, 1, 7)")
    DB.ok("insert into Line values (100, 10), (101, 11)")
    DB.ok("insert into Note values (1000, 100), (1001, 101)")
    DB.ok("delete from Cat where id = 2")
    DB.ok("delete from Sup")
    assert rows("select id, cat, sup from Prod order by id") == [("10", "1", None), ("11", "1", None)]
    DB.ok("update Prod set id = 12 where id = 10")
    assert rows("select id, prod from Line order by id") == [("100", "12"), ("101", "11")]
    DB.ok("delete from Prod where id = 12")
    assert rows("select id from Line") == [("101",)] and rows("select id from Note") == [("1001",)]
    # sqlsim runs no trigger body, so an action that reaches a table with a trigger fails loudly.
    DB.ok("create trigger TR_Note on Note after delete as set nocount on")
    assert [n for n, _ in DB.refused("delete from Prod")] == [50000]
    assert rows("select count(*) from Note") == [("1",)]


def refused_unchanged(sql, expected, extra=()):
    before = snapshot(DB, STATE + list(extra))
    got = DB.refused(sql)
    assert got == expected, (sql, got)
    assert snapshot(DB, STATE + list(extra)) == before, sql


def test_refusals_change_nothing():
    DB.ok("create table T (id int primary key, v int, w int not null)")
    DB.ok("create table U (id int primary key, t int)")
    DB.ok("insert into T values (1, -1, 0)")
    DB.ok("insert into U values (1, 9)")
    refused_unchanged("alter table T add constraint CK_T_v check (v >= 0)",
                      [conflict("ALTER TABLE", "CHECK", "CK_T_v", "T", "v")])
    refused_unchanged("alter table U add constraint FK_U_T foreign key (t) references T(id)",
                      [conflict("ALTER TABLE", "FOREIGN KEY", "FK_U_T", "T", "id")])
    DB.ok("alter table U with nocheck add constraint FK_U_T foreign key (t) references T(id)")
    assert rows("select is_not_trusted from sys.foreign_keys where name = 'FK_U_T'") == [("True",)]
    refused_unchanged("alter table U with check check constraint FK_U_T",
                      [conflict("ALTER TABLE", "FOREIGN KEY", "FK_U_T", "T", "id")])
    refused_unchanged("alter table T add constraint FK_T_w foreign key (w) references T(id) on delete set null", [
        (1761, 'Cannot create the foreign key "FK_T_w" with the SET NULL referential action, because one or more '
               'referencing columns are not nullable.'),
        (1750, "Could not create constraint or index. See previous errors.")])
    refused_unchanged("alter table T add constraint FK_T_v foreign key (v) references T(id) on delete cascade", [
        (1785, "Introducing FOREIGN KEY constraint 'FK_T_v' on table 'T' may cause cycles or multiple cascade "
               "paths. Specify ON DELETE NO ACTION or ON UPDATE NO ACTION, or modify other FOREIGN KEY constraints."),
        (1750, "Could not create constraint or index. See previous errors.")])
    refused_unchanged("create table V (a int check (a > b), b int)", [
        (8141, "Column CHECK constraint for column 'a' references another column, table 'V'."),
        (1750, "Could not create constraint or index. See previous errors.")])
    pk = rows("select name from sysobjects where xtype = 'PK' and parent_obj = object_id('T')")[0][0]
    refused_unchanged(f"alter table T drop constraint {pk}", [
        (3725, f"The constraint '{pk}' is being referenced by table 'U', foreign key constraint 'FK_U_T'."),
        (3727, "Could not drop constraint. See previous errors.")])
    DB.ok("create unique index IX_T_w on T (w)")
    DB.ok("alter table U add t2 int constraint FK_U_T2 references T (w)")
    refused_unchanged("drop index IX_T_w on T", [
        (3723, "An explicit DROP INDEX is not allowed on index 'T.IX_T_w'. It is being used for FOREIGN KEY "
               "constraint enforcement.")])
    DB.ok("alter table U drop constraint FK_U_T2")
    refused_unchanged("drop table T", [
        (3726, "Could not drop object 'T' because it is referenced by a FOREIGN KEY constraint.")])
    DB.ok("alter table T with nocheck add constraint CK_T_v check (v >= 0)")
    for sql, column, action in [("alter table T alter column v bigint", "v", "ALTER COLUMN"),
                                ("alter table U drop column t", "t", "DROP COLUMN")]:
        dependent = "CK_T_v" if column == "v" else "FK_U_T"
        refused_unchanged(sql, [(5074, f"The object '{dependent}' is dependent on column '{column}'."),
                                (4922, f"ALTER TABLE {action} {column} failed because one or more objects access "
                                       "this column.")])
    refused_unchanged("alter table T nocheck constraint nothing", [
        (4917, "Constraint 'nothing' does not exist."),
        (4916, "Could not enable or disable the constraint. See previous errors.")])
    refused_unchanged(f"alter table T nocheck constraint {pk}", [
        (11415, f"Object '{pk}' cannot be disabled or enabled. This action applies only to foreign key and check "
                "constraints."),
        (4916, "Could not enable or disable the constraint. See previous errors.")])
    DB.ok("insert into T values (2, 5, 1)")
    DB.ok("insert into U (id, t) values (2, 2)")
    DB.ok("delete from T where id = 1")  # U's older orphan (9) is no concern of this statement
    # A condition sqlsim cannot evaluate is kept, and fails loudly once rows must meet it.
    DB.ok("create table Z (d datetime constraint CK_Z check (d < dateadd(day, 1, getdate())))")
    assert rows("select definition from sys.check_constraints where name = 'CK_Z'") == [
        ("([d]<dateadd(day,(1),getdate()))",)]
    assert [n for n, _ in DB.refused("insert into Z values ('2000-01-01')")] == [50000]
    refused_unchanged("delete from T where id = 2", [conflict("DELETE", "REFERENCE", "FK_U_T", "U", "t")],
                      ["select * from T", "select * from U"])


run_tests([test_catalogue_holds_checks_and_keys_as_stored, test_rows_obey_checks_and_keys,
           test_actions_run_through_levels, test_refusals_change_nothing])
