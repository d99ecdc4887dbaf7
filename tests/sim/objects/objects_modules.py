"""Functions, triggers, binding at creation, dependencies and schema binding through pyodbc."""
import sys

from sqlsim_harness import Sqlsim, run_tests
from stack_client import Client, snapshot

BINARY = sys.argv[1]

SCHEMA = [
    "create table dbo.Customers (CustomerID int not null primary key, Name nvarchar(40) not null, City nvarchar(30))",
    "create table Orders (OrderID int not null primary key, CustomerID int, Total money)",
    "create view dbo.CustomerNames as select c.CustomerID, c.Name as CustomerName from dbo.Customers c",
    "create view BigOrders as select OrderID, Total, null as Nothing, current_timestamp Now from Orders "
    "where Total > 100",
    "create view OrderCustomers as select o.OrderID, n.CustomerName from BigOrders o "
    "join dbo.CustomerNames n on n.CustomerID = o.OrderID",
    "create function dbo.OrderCount(@id int) returns int with returns null on null input as begin "
    "return (select count(*) from Orders where CustomerID = @id) end",
    "create function dbo.CityCustomers(@city nvarchar(30)) returns table as "
    "return (select CustomerID, Name from dbo.Customers where City = @city)",
    "create function dbo.Totals() returns @t table (id int, total money) as begin "
    "insert into @t select OrderID, Total from Orders; return end",
    "create function dbo.Names() returns table with schemabinding as return select Name, City from dbo.Customers",
    "create view dbo.BoundNames with schemabinding as select Name from dbo.Names()",
    "create trigger trOrders on Orders after insert, update as "
    "update o set Total = 0 from Orders o join inserted i on i.OrderID = o.OrderID where o.Total < 0",
    "create procedure LaterTable as select * from NotYet; exec dbo.OtherProc",
]

EXTRA = ["select name, object_id, parent_id, is_disabled, is_instead_of_trigger from sys.triggers",
         "select referencing_id, referenced_entity_name, referenced_minor_id from sys.sql_expression_dependencies "
         "order by referencing_id, referenced_entity_name, referenced_minor_id",
         "select object_id, is_schema_bound from sys.sql_modules order by object_id"]


def start():
    sim = Sqlsim(BINARY, extra=["--database", "S1:shop"])
    client = Client(sim, database="shop")
    for sql in SCHEMA:
        client.ok(sql)
    return sim, client


def test_catalogue_of_functions_triggers_and_dependencies():
    sim, c = start()
    with sim:
        types = dict(c.ok("select name, type from sys.objects where type in ('FN','IF','TF','TR','V','P')"))
        assert types == {"CustomerNames": "V ", "BigOrders": "V ", "OrderCustomers": "V ", "OrderCount": "FN",
                         "CityCustomers": "IF", "Totals": "TF", "Names": "IF", "trOrders": "TR", "BoundNames": "V ",
                         "LaterTable": "P "}, types
        orders = c.ok("select object_id('Orders', 'U')")[0][0]
        assert c.ok("select name, parent_id, is_disabled, is_instead_of_trigger, parent_class from sys.triggers") == \
            [["trOrders", orders, "False", "False", "1"]]
        assert sorted(r[0] for r in c.ok("select type_desc from sys.trigger_events")) == ["INSERT", "UPDATE"]
        # The tool's routine listing sees views and procedures only.
        assert sorted(r[0] for r in c.ok("select name from sysobjects where xtype in ('V','P') and status >= 0")) == \
            ["BigOrders", "BoundNames", "CustomerNames", "LaterTable", "OrderCustomers"]
        deps = c.ok("select object_name(referencing_id), referenced_schema_name, referenced_entity_name, "
                    "referenced_id, referenced_minor_id, is_schema_bound_reference, is_caller_dependent "
                    "from sys.sql_expression_dependencies order by 1, 3, 5")
        cust = c.ok("select object_id('Customers')")[0][0]
        names = c.ok("select object_id('CustomerNames')")[0][0]
        big = c.ok("select object_id('BigOrders')")[0][0]
        assert deps == [
            ["BigOrders", None, "Orders", orders, "0", "False", "False"],
            ["BoundNames", "dbo", "Names", c.ok("select object_id('Names')")[0][0], "0", "True", "False"],
            ["CityCustomers", "dbo", "Customers", cust, "0", "False", "False"],
            ["CustomerNames", "dbo", "Customers", cust, "0", "False", "False"],
            ["LaterTable", None, "NotYet", None, "0", "False", "False"],
            ["LaterTable", "dbo", "OtherProc", None, "0", "False", "False"],
            ["Names", "dbo", "Customers", cust, "0", "True", "False"],
            ["Names", "dbo", "Customers", cust, "2", "True", "False"],
            ["Names", "dbo", "Customers", cust, "3", "True", "False"],
            ["OrderCount", None, "Orders", orders, "0", "False", "False"],
            ["OrderCustomers", None, "BigOrders", big, "0", "False", "False"],
            ["OrderCustomers", "dbo", "CustomerNames", names, "0", "False", "False"],
            ["Totals", None, "Orders", orders, "0", "False", "False"],
            ["trOrders", None, "Orders", orders, "0", "False", "False"],
        ], deps
        assert c.ok("select objectproperty(object_id('Names'), 'IsSchemaBound'), "
                    "objectproperty(object_id('trOrders'), 'ExecIsTriggerDisabled'), "
                    "objectproperty(object_id('Orders'), 'ExecIsTriggerDisabled'), schema_name(1), "
                    "object_name(object_id('Totals'))") == [["1", "0", None, "dbo", "Totals"]]
        assert c.ok("select is_schema_bound, null_on_null_input from sys.sql_modules m join sys.objects o "
                    "on o.object_id = m.object_id where o.name in ('OrderCount', 'Names') order by o.name") == \
            [["True", "False"], ["False", "True"]]
        # A scalar function's result is parameter 0, an output without a name.
        assert c.ok("select object_name(object_id), name, parameter_id, system_type_id, max_length, precision, "
                    "is_output from sys.parameters order by object_name(object_id), parameter_id") == [
            ["CityCustomers", "@city", "1", "231", "60", "0", "False"],
            ["OrderCount", "", "0", "56", "4", "10", "True"], ["OrderCount", "@id", "1", "56", "4", "10", "False"]]
        assert [r[0] for r in c.ok("select name from sys.schemas where schema_id < 5 order by schema_id")] == \
            ["dbo", "guest", "INFORMATION_SCHEMA", "sys"]


def test_triggers_enable_disable_and_rows():
    sim, c = start()
    with sim:
        assert c.refused("insert into Orders values (1, 1, 5)") == [
            (50000, "Changing rows of a table with an enabled trigger (trOrders) is not supported by sqlsim.")]
        for disable, enable in [("disable trigger trOrders on Orders", "enable trigger all on dbo.Orders"),
                                ("alter table Orders disable trigger all", "alter table Orders enable trigger trOrders")]:
            c.ok(disable)
            assert c.ok("select is_disabled from sys.triggers") == [["True"]]
            c.ok("insert into Orders values (1, 1, 5); delete from Orders")
            c.ok(enable)
            assert c.ok("select objectproperty(object_id('trOrders'), 'ExecIsTriggerDisabled')") == [["0"]]
        c.ok("alter trigger trOrders on Orders instead of delete as select 1")
        assert c.ok("select is_instead_of_trigger from sys.triggers") == [["True"]]
        c.ok("drop table Orders")
        assert c.ok("select count(*) from sys.objects where name in ('trOrders', 'Orders')") == [["0"]]
        objects = {r[0] for r in c.ok("select id from sysobjects")}
        assert {r[0] for r in c.ok("select id from syscomments")} <= objects


def test_refusals_change_nothing():
    sim, c = start()
    with sim:
        before = snapshot(c, EXTRA)
        exists = "There is already an object named '{}' in the database."
        cases = [
            ("create view V1 as select a from Missing", [(208, "Invalid object name 'Missing'.")]),
            ("create view V1 as select x.a from dbo.Customers c join dbo.Nope x on 1 = 1",
             [(208, "Invalid object name 'dbo.Nope'.")]),
            ("create view V1 as select CustomerID, Phone from Customers", [(207, "Invalid column name 'Phone'.")]),
            ("create view V1 as select c.Nope from Customers c", [(207, "Invalid column name 'Nope'.")]),
            ("create function F1() returns table as return select a from Missing",
             [(208, "Invalid object name 'Missing'.")]),
            ("create trigger T1 on Missing after insert as select 1",
             [(8197, "The object 'Missing' does not exist or is invalid for this operation.")]),
            ("create trigger T1 on BigOrders after insert as select 1",
             [(8197, "The object 'BigOrders' does not exist or is invalid for this operation.")]),
            ("create view V1 with schemabinding as select Name from Customers",
             [(4512, "Cannot schema bind view 'V1' because name 'Customers' is invalid for schema binding. "
                     "Names must be in two-part format and an object cannot reference itself.")]),
            ("create view V1 with schemabinding as select * from dbo.Customers",
             [(1054, "Syntax '*' is not allowed in schema-bound objects.")]),
            ("create function Totals() returns int as begin return 1 end", [(2714, exists.format("Totals"))]),
            ("create trigger trOrders on Orders for delete as select 1", [(2714, exists.format("trOrders"))]),
            ("alter function dbo.OrderCount() returns table as return select 1 as a",
             [(2010, "Cannot perform alter on 'OrderCount' because it is an incompatible object type.")]),
            ("alter function Nope() returns int as begin return 1 end", [(208, "Invalid object name 'Nope'.")]),
            ("drop function Nope", [(3701, "Cannot drop the function 'Nope', because it does not exist or you do "
                                           "not have permission.")]),
            ("drop function BigOrders", [(3705, "Cannot use DROP FUNCTION with 'BigOrders' because 'BigOrders' is a "
                                                "view. Use DROP VIEW.")]),
            ("create view V1 with schemabinding as select OrderID from dbo.BigOrders",
             [(4513, "Cannot schema bind view 'V1'. 'dbo.BigOrders' is not schema bound.")]),
            ("alter function dbo.Names() returns table with schemabinding as return select Name from dbo.Customers",
             [(3729, "Cannot ALTER FUNCTION 'Names' because it is being referenced by object 'BoundNames'.")]),
            ("drop table dbo.Customers", [(3729, "Cannot DROP TABLE 'dbo.Customers' because it is being referenced "
                                                 "by object 'Names'.")]),
            ("alter table Customers alter column City nvarchar(60)",
             [(5074, "The object 'Names' is dependent on column 'City'."),
              (4922, "ALTER TABLE ALTER COLUMN City failed because one or more objects access this column.")]),
            ("alter table Customers drop column Name",
             [(5074, "The object 'Names' is dependent on column 'Name'."),
              (4922, "ALTER TABLE DROP COLUMN Name failed because one or more objects access this column.")]),
            ("disable trigger Nope on Orders", [(1088, 'Cannot find the object "Nope" because it does not exist or '
                                                       'you do not have permissions.')]),
            ("alter table Orders disable trigger Nope",
             [(4920, "ALTER TABLE failed because trigger 'Nope' does not belong to table 'Orders'.")]),
        ]
        for sql, errors in cases:
            assert c.refused(sql) == errors, (sql, c.refused(sql))
            assert snapshot(c, EXTRA) == before, sql
        # Deferred name resolution: procedures and other functions may name what does not exist yet.
        c.ok("create function F2() returns int as begin return (select count(*) from Missing) end")
        c.ok("drop view BoundNames; drop function dbo.Names")
        c.ok("alter table Customers drop column City")


def test_alias_types():
    sim, c = start()
    with sim:
        c.ok("create type Phone from nvarchar(24) not null")
        c.ok("exec sp_addtype 'Price', 'decimal(9,2)'")
        c.ok("create table Shops (ShopID int, Tel Phone, Fax dbo.Phone null, Rent Price)")
        assert c.ok("select name, system_type_id, user_type_id, max_length, precision, scale, is_nullable, "
                    "is_user_defined from sys.types where user_type_id > 256 order by user_type_id") == [
            ["Phone", "231", "257", "48", "0", "0", "False", "1"], ["Price", "106", "258", "5", "9", "2", "True", "1"]]
        assert c.ok("select c.name, c.xtype, c.xusertype, c.length, c.isnullable, t.name from syscolumns c "
                    "join systypes t on t.xusertype = c.xusertype where c.id = object_id('Shops') order by c.colid") == [
            ["ShopID", "56", "56", "4", "1", "int"], ["Tel", "231", "257", "48", "0", "Phone"],
            ["Fax", "231", "257", "48", "1", "Phone"], ["Rent", "106", "258", "5", "1", "Price"]]
        c.ok("insert into Shops values (1, N'555-0100', NULL, 12.5)")
        assert c.ok("select Tel, Rent from Shops") == [["555-0100", "12.50"]]
        extra = EXTRA + ["select name, user_type_id from sys.types order by user_type_id"]
        before = snapshot(c, extra)
        for sql, errors in [
            ("create type Phone from int",
             [(219, "The type 'Phone' already exists, or you do not have permission to create it.")]),
            ("exec sp_addtype Price, 'int'", [(15029, "The type 'Price' already exists in the database.")]),
            ("drop type Nope", [(218, "Could not find the type 'Nope'. Either it does not exist or you do not have "
                                      "the necessary permission.")]),
            ("drop type Phone", [(3732, "Cannot drop type 'Phone' because it is being referenced by object 'Shops'. "
                                        "There may be other objects that reference this type.")]),
        ]:
            assert c.refused(sql) == errors, (sql, c.refused(sql))
            assert snapshot(c, extra) == before, sql
        c.ok("drop table Shops")
        c.ok("drop type Phone")
        assert c.ok("select name from systypes where xusertype > 256") == [["Price"]]


if __name__ == "__main__":
    run_tests([test_catalogue_of_functions_triggers_and_dependencies, test_triggers_enable_disable_and_rows,
               test_refusals_change_nothing, test_alias_types])
