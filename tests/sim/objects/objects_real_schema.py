"""The order-entry schema, kept as a generated script and as an install script, loads through
--init, through pyodbc batch by batch and through FreeTDS tsql, and its catalogue holds what SQL
Server holds for it. Object ids and generated constraint names differ from SQL Server's by design:
rows are joined by names and a generated name is compared by its shape only."""
import os
import re
import subprocess
import sys

from sqlsim_harness import Sqlsim, run_tests
from stack_client import Client

BINARY = sys.argv[1] if len(sys.argv) > 1 else None
HERE = os.path.dirname(os.path.abspath(__file__))
GENERATED, INSTALL, PREVIOUS = (os.path.join(HERE, f"order_entry_{n}.sql")
                                for n in ("generated", "install", "previous"))

# What sqlsim still gets wrong, by script and view; each is printed, and one that starts to pass
# fails the test so that the entry goes.
KNOWN_WRONG = {
    (script, "module_columns"): "the columns of views and table-valued functions are not in sys.columns"
    for script in ("order_entry_generated.sql", "order_entry_install.sql")
}


def rows(text):
    """Expected rows written one a line: fields split at '|' when there is one, else at blanks;
    '-' is NULL."""
    out = []
    for line in text.strip().splitlines():
        fields = [f.strip() for f in line.split("|")] if "|" in line else line.split()
        out.append(tuple(None if f == "-" else f for f in fields))
    return out


# sys.objects: schema, name, type, type_desc, parent.
OBJECTS = rows("""
dbo Categories U USER_TABLE -
dbo Suppliers U USER_TABLE -
dbo Customers U USER_TABLE -
dbo Employees U USER_TABLE -
dbo Products U USER_TABLE -
dbo Orders U USER_TABLE -
dbo OrderLines U USER_TABLE -
dbo EmployeeAudit U USER_TABLE -
dbo PK_Categories PK PRIMARY_KEY_CONSTRAINT Categories
dbo PK__* PK PRIMARY_KEY_CONSTRAINT Suppliers
dbo PK_Customers PK PRIMARY_KEY_CONSTRAINT Customers
dbo PK_Employees PK PRIMARY_KEY_CONSTRAINT Employees
dbo PK_Products PK PRIMARY_KEY_CONSTRAINT Products
dbo PK_Orders PK PRIMARY_KEY_CONSTRAINT Orders
dbo PK_OrderLines PK PRIMARY_KEY_CONSTRAINT OrderLines
dbo UQ_Categories_CategoryName UQ UNIQUE_CONSTRAINT Categories
dbo UQ__* UQ UNIQUE_CONSTRAINT Suppliers
dbo DF_Customers_RowGuid D DEFAULT_CONSTRAINT Customers
dbo DF_Products_UnitPrice D DEFAULT_CONSTRAINT Products
dbo DF__* D DEFAULT_CONSTRAINT Products
dbo DF_Products_Discontinued D DEFAULT_CONSTRAINT Products
dbo DF_Orders_OrderDate D DEFAULT_CONSTRAINT Orders
dbo DF__* D DEFAULT_CONSTRAINT Orders
dbo DF_OrderLines_UnitPrice D DEFAULT_CONSTRAINT OrderLines
dbo DF_OrderLines_Quantity D DEFAULT_CONSTRAINT OrderLines
dbo DF_OrderLines_Discount D DEFAULT_CONSTRAINT OrderLines
dbo DF__* D DEFAULT_CONSTRAINT EmployeeAudit
dbo DF__* D DEFAULT_CONSTRAINT EmployeeAudit
dbo CK_Customers_CustomerID C CHECK_CONSTRAINT Customers
dbo CK_Employees_BirthDate C CHECK_CONSTRAINT Employees
dbo CK_Products_UnitPrice C CHECK_CONSTRAINT Products
dbo CK__* C CHECK_CONSTRAINT Products
dbo CK_Orders_ShippedDate C CHECK_CONSTRAINT Orders
dbo CK_OrderLines_Quantity C CHECK_CONSTRAINT OrderLines
dbo CK_OrderLines_Discount C CHECK_CONSTRAINT OrderLines
dbo CK_OrderLines_UnitPrice C CHECK_CONSTRAINT OrderLines
dbo CK__* C CHECK_CONSTRAINT EmployeeAudit
dbo FK_Employees_Employees F FOREIGN_KEY_CONSTRAINT Employees
dbo FK_Products_Suppliers F FOREIGN_KEY_CONSTRAINT Products
dbo FK__* F FOREIGN_KEY_CONSTRAINT Products
dbo FK_Orders_Customers F FOREIGN_KEY_CONSTRAINT Orders
dbo FK_Orders_Employees F FOREIGN_KEY_CONSTRAINT Orders
dbo FK_OrderLines_Orders F FOREIGN_KEY_CONSTRAINT OrderLines
dbo FK_OrderLines_Products F FOREIGN_KEY_CONSTRAINT OrderLines
dbo vw_ProductList V VIEW -
dbo vw_ExpensiveProducts V VIEW -
dbo vw_OrderTotals V VIEW -
dbo vw_CustomerTotals V VIEW -
dbo fn_LineTotal FN SQL_SCALAR_FUNCTION -
dbo fn_ProductsOfCategory IF SQL_INLINE_TABLE_VALUED_FUNCTION -
dbo fn_ReportingChain TF SQL_TABLE_VALUED_FUNCTION -
dbo usp_CustomerOrders P SQL_STORED_PROCEDURE -
dbo usp_OrderValue P SQL_STORED_PROCEDURE -
dbo usp_ArchiveShippedOrders P SQL_STORED_PROCEDURE -
dbo trg_OrderLines_Stock TR SQL_TRIGGER OrderLines
dbo trg_Employees_Audit TR SQL_TRIGGER Employees
""")

# sys.columns of the tables: table, column, column_id, type, system_type_id, max_length, precision,
# scale, is_nullable, is_identity. An alias type's column takes the type's nullability unless the
# script says otherwise.
COLUMNS = rows("""
Categories CategoryID 1 int 56 4 10 0 0 1
Categories CategoryName 2 nvarchar 231 30 0 0 0 0
Categories Description 3 ntext 99 16 0 0 1 0
Categories Picture 4 image 34 16 0 0 1 0
Suppliers SupplierID 1 int 56 4 10 0 0 1
Suppliers CompanyName 2 nvarchar 231 80 0 0 0 0
Suppliers ContactName 3 nvarchar 231 60 0 0 1 0
Suppliers Country 4 CountryCode 175 2 0 0 0 0
Suppliers Phone 5 PhoneNumber 231 48 0 0 1 0
Suppliers HomePage 6 text 35 16 0 0 1 0
Customers CustomerID 1 nchar 239 10 0 0 0 0
Customers CompanyName 2 nvarchar 231 80 0 0 0 0
Customers ContactName 3 nvarchar 231 60 0 0 1 0
Customers City 4 nvarchar 231 30 0 0 1 0
Customers Country 5 CountryCode 175 2 0 0 0 0
Customers Phone 6 PhoneNumber 231 48 0 0 1 0
Customers RowGuid 7 uniqueidentifier 36 16 0 0 0 0
Employees EmployeeID 1 int 56 4 10 0 0 1
Employees LastName 2 nvarchar 231 40 0 0 0 0
Employees FirstName 3 nvarchar 231 20 0 0 0 0
Employees Title 4 nvarchar 231 60 0 0 1 0
Employees BirthDate 5 datetime 61 8 23 3 1 0
Employees HireDate 6 datetime 61 8 23 3 1 0
Employees ReportsTo 7 int 56 4 10 0 1 0
Employees Notes 8 ntext 99 16 0 0 1 0
Products ProductID 1 int 56 4 10 0 0 1
Products ProductName 2 nvarchar 231 80 0 0 0 0
Products SupplierID 3 int 56 4 10 0 1 0
Products CategoryID 4 int 56 4 10 0 1 0
Products QuantityPerUnit 5 nvarchar 231 40 0 0 1 0
Products UnitPrice 6 money 60 8 19 4 1 0
Products UnitsInStock 7 smallint 52 2 5 0 1 0
Products Weight 8 decimal 106 5 9 3 1 0
Products Discontinued 9 bit 104 1 1 0 0 0
Orders OrderID 1 int 56 4 10 0 0 1
Orders CustomerID 2 nchar 239 10 0 0 1 0
Orders EmployeeID 3 int 56 4 10 0 1 0
Orders OrderDate 4 datetime 61 8 23 3 0 0
Orders ShippedDate 5 datetime 61 8 23 3 1 0
Orders Freight 6 money 60 8 19 4 0 0
Orders ShipCountry 7 CountryCode 175 2 0 0 1 0
OrderLines OrderID 1 int 56 4 10 0 0 0
OrderLines ProductID 2 int 56 4 10 0 0 0
OrderLines UnitPrice 3 money 60 8 19 4 0 0
OrderLines Quantity 4 smallint 52 2 5 0 0 0
OrderLines Discount 5 real 59 4 24 0 0 0
EmployeeAudit EmployeeID 1 int 56 4 10 0 0 0
EmployeeAudit Action 2 char 175 1 0 0 0 0
EmployeeAudit ChangedAt 3 datetime 61 8 23 3 0 0
EmployeeAudit ChangedBy 4 nvarchar 231 256 0 0 1 0
""")

EXPECTED = {
    "objects": OBJECTS,
    "columns": COLUMNS,
    # Views and table-valued functions have columns too.
    "module_columns": rows("""
vw_ProductList ProductID 1
vw_ProductList ProductName 2
vw_ProductList CategoryName 3
vw_ProductList UnitPrice 4
vw_ExpensiveProducts ProductID 1
vw_ExpensiveProducts ProductName 2
vw_ExpensiveProducts CategoryName 3
vw_ExpensiveProducts UnitPrice 4
vw_OrderTotals OrderID 1
vw_OrderTotals LineCount 2
vw_OrderTotals Gross 3
vw_CustomerTotals CustomerID 1
vw_CustomerTotals Orders 2
vw_CustomerTotals Gross 3
fn_ProductsOfCategory ProductID 1
fn_ProductsOfCategory ProductName 2
fn_ProductsOfCategory UnitPrice 3
fn_ReportingChain EmployeeID 1
fn_ReportingChain LastName 2
fn_ReportingChain Depth 3
"""),
    # name, system_type_id, user_type_id (an alias type's is above 256), max_length, precision,
    # scale, is_nullable, is_user_defined
    "types": rows("""
bit 104 104 1 1 0 1 0
char 175 175 8000 0 0 1 0
datetime 61 61 8 23 3 1 0
decimal 106 106 17 38 38 1 0
image 34 34 16 0 0 1 0
int 56 56 4 10 0 1 0
money 60 60 8 19 4 1 0
nchar 239 239 8000 0 0 1 0
ntext 99 99 16 0 0 1 0
nvarchar 231 231 8000 0 0 1 0
real 59 59 4 24 0 1 0
smallint 52 52 2 5 0 1 0
sysname 231 256 256 0 0 0 0
text 35 35 16 0 0 1 0
uniqueidentifier 36 36 16 0 0 1 0
CountryCode 175 user 2 0 0 0 1
PhoneNumber 231 user 48 0 0 1 1
"""),
    # table, index, index_id, type, type_desc, is_unique, is_primary_key, is_unique_constraint,
    # has_filter, filter_definition
    "indexes": rows("""
Categories | PK_Categories | 1 | 1 | CLUSTERED | 1 | 1 | 0 | 0 | -
Categories | UQ_Categories_CategoryName | 2 | 2 | NONCLUSTERED | 1 | 0 | 1 | 0 | -
Suppliers | PK__* | 1 | 1 | CLUSTERED | 1 | 1 | 0 | 0 | -
Suppliers | UQ__* | 2 | 2 | NONCLUSTERED | 1 | 0 | 1 | 0 | -
Suppliers | IX_Suppliers_Country | 3 | 2 | NONCLUSTERED | 0 | 0 | 0 | 0 | -
Customers | PK_Customers | 1 | 1 | CLUSTERED | 1 | 1 | 0 | 0 | -
Customers | IX_Customers_Country_City | 2 | 2 | NONCLUSTERED | 0 | 0 | 0 | 0 | -
Employees | PK_Employees | 1 | 1 | CLUSTERED | 1 | 1 | 0 | 0 | -
Employees | IX_Employees_Name | 2 | 2 | NONCLUSTERED | 0 | 0 | 0 | 0 | -
Products | PK_Products | 1 | 1 | CLUSTERED | 1 | 1 | 0 | 0 | -
Products | IX_Products_CategoryID | 2 | 2 | NONCLUSTERED | 0 | 0 | 0 | 0 | -
Products | IX_Products_ProductName | 3 | 2 | NONCLUSTERED | 0 | 0 | 0 | 0 | -
Products | IX_Products_Current | 4 | 2 | NONCLUSTERED | 1 | 0 | 0 | 1 | ([Discontinued]=(0))
Orders | PK_Orders | 1 | 1 | CLUSTERED | 1 | 1 | 0 | 0 | -
Orders | IX_Orders_OrderDate | 2 | 2 | NONCLUSTERED | 0 | 0 | 0 | 0 | -
Orders | IX_Orders_CustomerID | 3 | 2 | NONCLUSTERED | 0 | 0 | 0 | 0 | -
OrderLines | PK_OrderLines | 1 | 1 | CLUSTERED | 1 | 1 | 0 | 0 | -
EmployeeAudit | - | 0 | 0 | HEAP | 0 | 0 | 0 | 0 | -
"""),
    # table, index, column, key_ordinal, index_column_id, is_descending_key, is_included_column
    "index_columns": rows("""
Categories PK_Categories CategoryID 1 1 0 0
Categories UQ_Categories_CategoryName CategoryName 1 1 0 0
Suppliers PK__* SupplierID 1 1 0 0
Suppliers UQ__* CompanyName 1 1 0 0
Suppliers IX_Suppliers_Country Country 1 1 0 0
Customers PK_Customers CustomerID 1 1 0 0
Customers IX_Customers_Country_City Country 1 1 0 0
Customers IX_Customers_Country_City City 2 2 1 0
Employees PK_Employees EmployeeID 1 1 0 0
Employees IX_Employees_Name LastName 1 1 0 0
Employees IX_Employees_Name FirstName 2 2 0 0
Products PK_Products ProductID 1 1 0 0
Products IX_Products_CategoryID CategoryID 1 1 0 0
Products IX_Products_ProductName ProductName 1 1 0 0
Products IX_Products_ProductName UnitPrice 0 2 0 1
Products IX_Products_ProductName UnitsInStock 0 3 0 1
Products IX_Products_Current ProductName 1 1 0 0
Orders PK_Orders OrderID 1 1 0 0
Orders IX_Orders_OrderDate OrderDate 1 1 1 0
Orders IX_Orders_CustomerID CustomerID 1 1 0 0
OrderLines PK_OrderLines OrderID 1 1 0 0
OrderLines PK_OrderLines ProductID 2 2 0 0
"""),
    # name, table, type, type_desc, unique_index_id, is_system_named
    "key_constraints": rows("""
PK_Categories Categories PK PRIMARY_KEY_CONSTRAINT 1 0
UQ_Categories_CategoryName Categories UQ UNIQUE_CONSTRAINT 2 0
PK__* Suppliers PK PRIMARY_KEY_CONSTRAINT 1 1
UQ__* Suppliers UQ UNIQUE_CONSTRAINT 2 1
PK_Customers Customers PK PRIMARY_KEY_CONSTRAINT 1 0
PK_Employees Employees PK PRIMARY_KEY_CONSTRAINT 1 0
PK_Products Products PK PRIMARY_KEY_CONSTRAINT 1 0
PK_Orders Orders PK PRIMARY_KEY_CONSTRAINT 1 0
PK_OrderLines OrderLines PK PRIMARY_KEY_CONSTRAINT 1 0
"""),
    # name, table, definition, parent_column_id (the column when the expression reads only one),
    # is_disabled, is_not_trusted, is_system_named. IN is kept as ORs, last value first; BETWEEN
    # as two comparisons; LIKE in lower case.
    "check_constraints": rows("""
CK_Customers_CustomerID | Customers | ([CustomerID] like '[A-Z][A-Z][A-Z][A-Z][A-Z]') | 1 | 0 | 0 | 0
CK_Employees_BirthDate | Employees | ([BirthDate]<getdate()) | 5 | 0 | 0 | 0
CK_Products_UnitPrice | Products | ([UnitPrice]>=(0)) | 6 | 0 | 0 | 0
CK__* | Products | ([UnitsInStock]>=(0)) | 7 | 0 | 0 | 1
CK_Orders_ShippedDate | Orders | ([ShippedDate] IS NULL OR [ShippedDate]>=[OrderDate]) | 0 | 0 | 0 | 0
CK_OrderLines_Quantity | OrderLines | ([Quantity]>(0)) | 4 | 0 | 0 | 0
CK_OrderLines_Discount | OrderLines | ([Discount]>=(0) AND [Discount]<=(1)) | 5 | 0 | 0 | 0
CK_OrderLines_UnitPrice | OrderLines | ([UnitPrice]>=(0)) | 3 | 1 | 1 | 0
CK__* | EmployeeAudit | ([Action]='U' OR [Action]='D') | 2 | 0 | 0 | 1
"""),
    # name, table, column, definition, is_system_named
    "default_constraints": rows("""
DF_Customers_RowGuid | Customers | RowGuid | (newid()) | 0
DF_Products_UnitPrice | Products | UnitPrice | ((0)) | 0
DF__* | Products | UnitsInStock | ((0)) | 1
DF_Products_Discontinued | Products | Discontinued | ((0)) | 0
DF_Orders_OrderDate | Orders | OrderDate | (getdate()) | 0
DF__* | Orders | Freight | ((0)) | 1
DF_OrderLines_UnitPrice | OrderLines | UnitPrice | ((0)) | 0
DF_OrderLines_Quantity | OrderLines | Quantity | ((1)) | 0
DF_OrderLines_Discount | OrderLines | Discount | ((0)) | 0
DF__* | EmployeeAudit | ChangedAt | (getdate()) | 1
DF__* | EmployeeAudit | ChangedBy | (suser_sname()) | 1
"""),
    # name, table, referenced table, its key's index, delete action and _desc, update action and
    # _desc, is_disabled, is_not_trusted, is_system_named
    "foreign_keys": rows("""
FK_Employees_Employees Employees Employees PK_Employees 0 NO_ACTION 0 NO_ACTION 0 0 0
FK_Products_Suppliers Products Suppliers PK__* 2 SET_NULL 0 NO_ACTION 0 0 0
FK__* Products Categories PK_Categories 0 NO_ACTION 0 NO_ACTION 0 0 1
FK_Orders_Customers Orders Customers PK_Customers 0 NO_ACTION 1 CASCADE 0 0 0
FK_Orders_Employees Orders Employees PK_Employees 2 SET_NULL 0 NO_ACTION 0 1 0
FK_OrderLines_Orders OrderLines Orders PK_Orders 1 CASCADE 0 NO_ACTION 0 0 0
FK_OrderLines_Products OrderLines Products PK_Products 0 NO_ACTION 0 NO_ACTION 0 0 0
"""),
    # foreign key, constraint_column_id, column, referenced column
    "foreign_key_columns": rows("""
FK_Employees_Employees 1 ReportsTo EmployeeID
FK_Products_Suppliers 1 SupplierID SupplierID
FK__* 1 CategoryID CategoryID
FK_Orders_Customers 1 CustomerID CustomerID
FK_Orders_Employees 1 EmployeeID EmployeeID
FK_OrderLines_Orders 1 OrderID OrderID
FK_OrderLines_Products 1 ProductID ProductID
"""),
    # name, table, type, parent_class, parent_class_desc, is_disabled, is_instead_of_trigger,
    # is_ms_shipped
    "triggers": rows("""
trg_OrderLines_Stock OrderLines TR 1 OBJECT_OR_COLUMN 0 0 0
trg_Employees_Audit Employees TR 1 OBJECT_OR_COLUMN 1 0 0
"""),
    "schemas": rows("""
dbo 1 1
guest 2 2
INFORMATION_SCHEMA 3 3
sys 4 4
db_owner 16384 16384
db_accessadmin 16385 16385
db_securityadmin 16386 16386
db_ddladmin 16387 16387
db_backupoperator 16389 16389
db_datareader 16390 16390
db_datawriter 16391 16391
db_denydatareader 16392 16392
db_denydatawriter 16393 16393
"""),
    # referencing object, referenced schema, name, resolved, is_schema_bound_reference
    "dependencies": rows("""
vw_ProductList dbo Products id 0
vw_ProductList dbo Categories id 0
vw_ExpensiveProducts dbo vw_ProductList id 0
vw_OrderTotals dbo OrderLines id 1
vw_CustomerTotals dbo Orders id 0
vw_CustomerTotals dbo vw_OrderTotals id 0
fn_ProductsOfCategory dbo Products id 0
fn_ReportingChain dbo Employees id 0
usp_CustomerOrders dbo Orders id 0
usp_CustomerOrders dbo vw_OrderTotals id 0
usp_OrderValue dbo fn_LineTotal id 0
usp_OrderValue dbo OrderLines id 0
usp_ArchiveShippedOrders dbo OrdersArchive - 0
usp_ArchiveShippedOrders dbo Orders id 0
trg_OrderLines_Stock dbo Products id 0
trg_Employees_Audit dbo EmployeeAudit id 0
"""),
    "counts": rows("""
Categories 3
Suppliers 3
Customers 3
Employees 3
Products 4
Orders 3
OrderLines 4
EmployeeAudit 1
"""),
    # ntext longer than a pointer's 16 bytes, and beyond code page 1252
    "texts": [("1", "Soft drinks, coffees, teas, beers and ales from small breweries"),
              ("3", "绿茶、乌龙茶和红茶，产自福建和云南的茶园")],
}
# The compatibility views show the same objects.
EXPECTED["sysobjects"] = [(name, xtype, parent) for _, name, xtype, _, parent in OBJECTS]
EXPECTED["syscolumns"] = [(t, c, i, st, ty, ln, nl) for t, c, i, ty, st, ln, _, _, nl, _ in COLUMNS]
EXPECTED["sysindexes"] = [(t, i, n) for t, n, i, *_ in EXPECTED["indexes"]]
EXPECTED["sysindexkeys"] = [(t, i, c, k) for t, i, c, k, *_ in EXPECTED["index_columns"] if k != "0"]

USER_TABLE = "join sys.tables t on t.object_id = {}"
QUERIES = {
    "objects": "select s.name, o.name, o.type, o.type_desc, p.name from sys.objects o "
               "join sys.schemas s on s.schema_id = o.schema_id "
               "left join sys.objects p on p.object_id = o.parent_object_id where o.is_ms_shipped = 0",
    "columns": "select t.name, c.name, c.column_id, ty.name, c.system_type_id, c.max_length, c.precision, "
               "c.scale, c.is_nullable, c.is_identity from sys.columns c "
               "join sys.tables t on t.object_id = c.object_id join sys.types ty on ty.user_type_id = c.user_type_id",
    "module_columns": "select o.name, c.name, c.column_id from sys.columns c "
                      "join sys.objects o on o.object_id = c.object_id where o.type in ('V', 'IF', 'TF')",
    "types": "select name, system_type_id, user_type_id, max_length, precision, scale, is_nullable, "
             "is_user_defined from sys.types where is_user_defined = 1 or name in ('bit', 'char', 'datetime', "
             "'decimal', 'image', 'int', 'money', 'nchar', 'ntext', 'nvarchar', 'real', 'smallint', "
             "'sysname', 'text', 'uniqueidentifier')",
    "indexes": "select t.name, i.name, i.index_id, i.type, i.type_desc, i.is_unique, i.is_primary_key, "
               "i.is_unique_constraint, i.has_filter, i.filter_definition from sys.indexes i "
               "join sys.tables t on t.object_id = i.object_id",
    "index_columns": "select t.name, i.name, c.name, ic.key_ordinal, ic.index_column_id, ic.is_descending_key, "
                     "ic.is_included_column from sys.index_columns ic "
                     "join sys.indexes i on i.object_id = ic.object_id and i.index_id = ic.index_id "
                     "join sys.tables t on t.object_id = ic.object_id "
                     "join sys.columns c on c.object_id = ic.object_id and c.column_id = ic.column_id",
    "key_constraints": "select k.name, t.name, k.type, k.type_desc, k.unique_index_id, k.is_system_named "
                       "from sys.key_constraints k join sys.tables t on t.object_id = k.parent_object_id",
    "check_constraints": "select k.name, t.name, k.definition, k.parent_column_id, k.is_disabled, "
                         "k.is_not_trusted, k.is_system_named from sys.check_constraints k "
                         "join sys.tables t on t.object_id = k.parent_object_id",
    "default_constraints": "select d.name, t.name, c.name, d.definition, d.is_system_named "
                           "from sys.default_constraints d join sys.tables t on t.object_id = d.parent_object_id "
                           "join sys.columns c on c.object_id = d.parent_object_id and c.column_id = d.parent_column_id",
    "foreign_keys": "select f.name, t.name, r.name, i.name, f.delete_referential_action, "
                    "f.delete_referential_action_desc, f.update_referential_action, f.update_referential_action_desc, "
                    "f.is_disabled, f.is_not_trusted, f.is_system_named from sys.foreign_keys f "
                    "join sys.tables t on t.object_id = f.parent_object_id "
                    "join sys.tables r on r.object_id = f.referenced_object_id "
                    "join sys.indexes i on i.object_id = f.referenced_object_id and i.index_id = f.key_index_id",
    "foreign_key_columns": "select f.name, fc.constraint_column_id, pc.name, rc.name from sys.foreign_key_columns fc "
                           "join sys.foreign_keys f on f.object_id = fc.constraint_object_id "
                           "join sys.columns pc on pc.object_id = fc.parent_object_id and pc.column_id = fc.parent_column_id "
                           "join sys.columns rc on rc.object_id = fc.referenced_object_id "
                           "and rc.column_id = fc.referenced_column_id",
    "triggers": "select tr.name, o.name, tr.type, tr.parent_class, tr.parent_class_desc, tr.is_disabled, "
                "tr.is_instead_of_trigger, tr.is_ms_shipped from sys.triggers tr join sys.objects o on o.object_id = tr.parent_id",
    "schemas": "select name, schema_id, principal_id from sys.schemas",
    "dependencies": "select distinct o.name, d.referenced_schema_name, d.referenced_entity_name, d.referenced_id, "
                    "d.is_schema_bound_reference from sys.sql_expression_dependencies d "
                    "join sys.objects o on o.object_id = d.referencing_id "
                    "where o.type in ('V', 'P', 'FN', 'IF', 'TF', 'TR') "
                    "and d.referenced_entity_name not in ('inserted', 'deleted')",
    "modules": "select o.name, m.definition, m.uses_ansi_nulls, m.uses_quoted_identifier, m.is_schema_bound "
               "from sys.sql_modules m join sys.objects o on o.object_id = m.object_id",
    "sysobjects": "select o.name, o.xtype, p.name from sysobjects o "
                  "join sys.objects so on so.object_id = o.id and so.is_ms_shipped = 0 "
                  "left join sysobjects p on p.id = o.parent_obj",
    "syscolumns": "select o.name, c.name, c.colid, c.xtype, ty.name, c.length, c.isnullable from syscolumns c "
                  "join sysobjects o on o.id = c.id join systypes ty on ty.xusertype = c.xusertype where o.xtype = 'U'",
    "sysindexes": "select o.name, i.indid, i.name from sysindexes i join sysobjects o on o.id = i.id where o.xtype = 'U'",
    "sysindexkeys": "select o.name, i.name, c.name, k.keyno from sysindexkeys k "
                    "join sysindexes i on i.id = k.id and i.indid = k.indid join sysobjects o on o.id = k.id "
                    "join syscolumns c on c.id = k.id and c.colid = k.colid where k.keyno > 0",
    "counts": " union all ".join(f"select '{t}', count(*) from {t}" for t in (
        "Categories", "Suppliers", "Customers", "Employees", "Products", "Orders", "OrderLines", "EmployeeAudit")),
    "texts": "select CategoryID, Description from Categories where CategoryID in (1, 3)",
}

SYSTEM_NAMED = re.compile(r"^(PK|UQ|DF|CK|FK)__[A-Za-z]{1,9}__(?:[A-Za-z]{1,5}__)?[0-9A-F]{8,16}$")


def value(v):
    if v in ("True", "False"):
        return "1" if v == "True" else "0"
    if isinstance(v, str):
        v = v.rstrip()
        return SYSTEM_NAMED.sub(r"\1__*", v)
    return v


def shape(key, row):
    row = tuple(value(v) for v in row)
    if key == "types" and row[7] == "1" and (row[2] or "").isdigit() and int(row[2]) > 256:
        row = row[:2] + ("user",) + row[3:]
    if key == "dependencies":
        row = row[:3] + (None if row[3] is None else "id",) + row[4:]
    if key == "sysindexes" and row[1] == "0":
        row = row[:2] + (None,)  # a heap's row carries the table's name in some releases
    return row


def batches(path):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    return [b for b in re.split(r"^[ \t]*go[ \t]*$\n?", text, flags=re.I | re.M) if b.strip()]


def modules_of(path):
    """What sys.sql_modules keeps for each CREATE in a script: the batch's text as sent."""
    out = []
    for batch in batches(path):
        m = re.match(r"\s*create\s+(?:view|function|procedure|proc|trigger)\s+(?:\[?dbo\]?\.)?\[?(\w+)",
                     batch, re.I)
        if m:
            bound = "1" if re.search(r"with\s+schemabinding", batch, re.I) else "0"
            out.append((m.group(1), batch.strip(), "1", "1", bound))
    return out


def compare(client, script):
    """Each catalogue view against the expected rows; returns {view: (missing, extra)}."""
    expected = dict(EXPECTED, modules=modules_of(script))
    wrong = {}
    for key, sql in QUERIES.items():
        got, errors = client.run(sql)
        got = sorted((shape(key, r) for r in got), key=repr)
        want = sorted((tuple(v for v in r) for r in expected[key]), key=repr)
        if errors:
            wrong[key] = (f"refused: {errors[0]}", [])
        elif got != want:
            wrong[key] = ([r for r in want if r not in got], [r for r in got if r not in want])
    return wrong


def judge(script, wrong):
    """Fails on a difference not listed in KNOWN_WRONG and on a listed one that is gone."""
    name = os.path.basename(script)
    known = {view for (s, view) in KNOWN_WRONG if s == name}
    for view, (missing, extra) in sorted(wrong.items()):
        print(f"{'known' if view in known else 'WRONG'}: {name} {view}\n  missing {missing}\n  extra   {extra}")
    new, gone = set(wrong) - known, known - set(wrong)
    assert not new and not gone, f"{name}: wrong {sorted(new)}, no longer wrong {sorted(gone)}"


def load_failed(script, error):
    name = os.path.basename(script)
    print(f"{'known' if (name, 'load') in KNOWN_WRONG else 'WRONG'}: {name} does not load: {error}")
    assert (name, "load") in KNOWN_WRONG, f"{name} does not load: {error}"


def loaded(script, way):
    """A finished load of a script's batches, or None after a known load failure."""
    extra = ["--database", "S1:OrderEntry"] if script != INSTALL else []
    if way == "init":
        try:
            return Sqlsim(BINARY, extra=extra + ["--init", f"S1:{script}"])
        except RuntimeError as e:
            load_failed(script, e)
            return None
    sim = Sqlsim(BINARY, extra=extra)
    if way == "odbc":
        client = Client(sim)
        failures = []
        for number, batch in enumerate(batches(script), 1):
            failures += [(number, e) for e in client.run(batch)[1]]
        client.close()
    else:
        out = subprocess.run(["tsql", "-H", "127.0.0.1", "-p", str(sim.port()), "-U", "sa", "-P", "sqlsim"],
                             input=open(script, encoding="utf-8").read(), capture_output=True, text=True, timeout=120,
                             env=dict(os.environ, LANG="C.UTF-8"))
        failures = [e for e in sim.events() if e["event"] == "error"] or ([] if out.returncode == 0 else [out.stderr])
        if not failures:
            assert "OrderEntry is installed" in out.stdout + out.stderr, "the last PRINT did not arrive"
    if failures:
        sim.__exit__(None, None, None)
        load_failed(script, failures[0])
        return None
    return sim


def check(script, way):
    sim = loaded(script, way)
    if sim is None:
        return
    with sim:
        client = Client(sim, database="OrderEntry")
        judge(script, compare(client, script))
        client.close()


def test_generated_script_through_init():
    check(GENERATED, "init")


def test_generated_script_batch_by_batch_through_odbc():
    check(GENERATED, "odbc")


def test_install_script_through_init():
    check(INSTALL, "init")


def test_install_script_through_tsql():
    check(INSTALL, "tsql")


def test_previous_release_loads_with_its_differences():
    """The older release: no Weight, QuantityPerUnit still varchar, no filtered index, no discount
    check, no RowGuid, no customer totals view."""
    sim = loaded(PREVIOUS, "init")
    if sim is None:
        return
    gone = {"vw_CustomerTotals", "CK_OrderLines_Discount", "DF_Customers_RowGuid"}
    with sim:
        client = Client(sim, database="OrderEntry")
        got = {key: sorted((shape(key, r) for r in client.ok(QUERIES[key])), key=repr)
               for key in ("objects", "columns", "indexes", "counts")}
        assert got["objects"] == sorted((r for r in OBJECTS if r[1] not in gone), key=repr), got["objects"]
        products = [(r[1], r[3]) for r in got["columns"] if r[0] == "Products"]
        assert products == sorted([("ProductID", "int"), ("ProductName", "nvarchar"), ("SupplierID", "int"),
                                   ("CategoryID", "int"), ("QuantityPerUnit", "varchar"), ("UnitPrice", "money"),
                                   ("UnitsInStock", "smallint"), ("Discontinued", "bit")], key=repr), products
        assert "IX_Products_Current" not in str(got["indexes"]) and "RowGuid" not in str(got["columns"])
        assert got["counts"] == sorted(EXPECTED["counts"], key=repr), got["counts"]
        client.close()


if __name__ == "__main__":
    run_tests([test_generated_script_through_init, test_generated_script_batch_by_batch_through_odbc,
               test_install_script_through_init, test_install_script_through_tsql,
               test_previous_release_loads_with_its_differences])
