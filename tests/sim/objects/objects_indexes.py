"""Indexes, unique constraints and storage clauses through pyodbc, unixODBC and FreeTDS."""
import sys

from sqlsim_harness import Sqlsim, run_tests
from stack_client import Client, snapshot

BINARY = sys.argv[1]

INDEX_QUERIES = [
    "select o.name, i.name, index_id, i.type, i.type_desc, is_unique, is_primary_key, is_unique_constraint, "
    "has_filter, filter_definition from sys.indexes i join sys.objects o on o.object_id = i.object_id "
    "order by o.name, index_id",
    "select o.name, index_id, index_column_id, column_id, key_ordinal, is_descending_key, is_included_column "
    "from sys.index_columns i join sys.objects o on o.object_id = i.object_id "
    "order by o.name, index_id, index_column_id",
]

SCRIPT = """
CREATE TABLE [dbo].[Customers](
  [CustomerID] [int] IDENTITY(1,1) NOT NULL,
  [Code] [nchar](5) NOT NULL CONSTRAINT [UQ_Customers_Code] UNIQUE NONCLUSTERED,
  [Email] [nvarchar](100) NULL UNIQUE,
  [Region] [nvarchar](15) NULL,
  [Notes] [ntext] NULL,
 CONSTRAINT [PK_Customers] PRIMARY KEY CLUSTERED ([CustomerID] ASC)
 WITH (PAD_INDEX = OFF, STATISTICS_NORECOMPUTE = OFF, IGNORE_DUP_KEY = OFF, ALLOW_ROW_LOCKS = ON,
       ALLOW_PAGE_LOCKS = ON, OPTIMIZE_FOR_SEQUENTIAL_KEY = OFF) ON [PRIMARY]
) ON [PRIMARY] TEXTIMAGE_ON [PRIMARY]
CREATE TABLE Log (At datetime, Who nvarchar(20), Code int, CONSTRAINT UQ_Log UNIQUE (Who DESC, Code))
CREATE NONCLUSTERED INDEX [IX_Customers_Region] ON [dbo].[Customers] ([Region] DESC, [Code])
  INCLUDE ([Email]) WITH (FILLFACTOR = 80, SORT_IN_TEMPDB = OFF, ONLINE = OFF) ON [PRIMARY]
CREATE UNIQUE INDEX IX_Customers_Region_One ON Customers (Region) WHERE Region IS NOT NULL AND CustomerID > 0
"""


def test_the_catalogue_holds_every_index():
    with Sqlsim(BINARY, extra=["--database", "S1:shop"]) as sim:
        c = Client(sim, database="shop")
        c.ok(SCRIPT)
        indexes, columns = [c.ok(q) for q in INDEX_QUERIES]
        uq_email = c.ok("select name from sys.key_constraints where name like 'UQ__Customer__%'")[0][0]
        t, f = "True", "False"
        assert indexes == [
            ["Customers", "PK_Customers", "1", "1", "CLUSTERED", t, t, f, f, None],
            ["Customers", "UQ_Customers_Code", "2", "2", "NONCLUSTERED", t, f, t, f, None],
            ["Customers", uq_email, "3", "2", "NONCLUSTERED", t, f, t, f, None],
            ["Customers", "IX_Customers_Region", "4", "2", "NONCLUSTERED", f, f, f, f, None],
            ["Customers", "IX_Customers_Region_One", "5", "2", "NONCLUSTERED", t, f, f, t,
             "([Region] IS NOT NULL AND [CustomerID]>(0))"],
            ["Log", None, "0", "0", "HEAP", f, f, f, f, None],
            ["Log", "UQ_Log", "2", "2", "NONCLUSTERED", t, f, t, f, None],
        ], indexes
        assert columns == [
            ["Customers", "1", "1", "1", "1", f, f],
            ["Customers", "2", "1", "2", "1", f, f],
            ["Customers", "3", "1", "3", "1", f, f],
            ["Customers", "4", "1", "4", "1", t, f],
            ["Customers", "4", "2", "2", "2", f, f],
            ["Customers", "4", "3", "3", "0", f, t],
            ["Customers", "5", "1", "4", "1", f, f],
            ["Log", "2", "1", "2", "1", t, f],
            ["Log", "2", "2", "3", "2", f, f],
        ], columns
        assert c.ok("select name, type, unique_index_id, is_system_named from sys.key_constraints order by name") == [
            ["PK_Customers", "PK", "1", f], [uq_email, "UQ", "3", t], ["UQ_Customers_Code", "UQ", "2", f],
            ["UQ_Log", "UQ", "2", f]]
        assert c.ok("select fill_factor from sys.indexes where name = 'IX_Customers_Region'") == [["80"]]
        # The compatibility views: every index, keys without included columns, a heap as indid 0.
        assert c.ok("select o.name, indid, i.name, i.status, keycnt from sysindexes i join sysobjects o "
                    "on o.id = i.id order by o.name, indid") == [
            ["Customers", "1", "PK_Customers", "2066", "1"], ["Customers", "2", "UQ_Customers_Code", "4098", "1"],
            ["Customers", "3", uq_email, "4098", "1"], ["Customers", "4", "IX_Customers_Region", "0", "2"],
            ["Customers", "5", "IX_Customers_Region_One", "2", "1"], ["Log", "0", None, "0", "0"],
            ["Log", "2", "UQ_Log", "4098", "2"]]
        assert c.ok("select indid, colid, keyno from sysindexkeys where id = object_id('Customers') and indid = 4 "
                    "order by keyno") == [["4", "4", "1"], ["4", "2", "2"]]
        assert c.ok("select name from sysobjects where xtype = 'UQ' order by name") == [
            [uq_email], ["UQ_Customers_Code"], ["UQ_Log"]]
        # Dropped indexes go; a table without its clustered index is a heap again.
        c.ok("DROP INDEX Customers.IX_Customers_Region, IX_Customers_Region_One ON dbo.Customers")
        c.ok("ALTER TABLE Customers DROP CONSTRAINT PK_Customers")
        assert c.ok("select indid, name from sysindexes where id = object_id('Customers') order by indid") == [
            ["0", None], ["2", "UQ_Customers_Code"], ["3", uq_email]]
        # A UNIQUE CLUSTERED key leaves the primary key nonclustered.
        c.ok("create table K (a int primary key, b int unique clustered)")
        assert c.ok("select i.indid, i.status, o.xtype from sysindexes i join sysobjects o on o.name = i.name "
                    "where i.id = object_id('K') order by i.indid") == [["1", "4114", "UQ"], ["2", "2050", "PK"]]


def test_rows_obey_unique_indexes_and_constraints():
    with Sqlsim(BINARY, extra=["--database", "S1:shop"]) as sim:
        c = Client(sim, database="shop")
        c.ok(SCRIPT)
        c.ok("insert into Customers (Code, Email, Region) values ('A', 'a@x', 'North'), ('B', NULL, NULL)")
        # One NULL per unique key; the filtered index holds only its rows.
        cases = [
            ("insert into Customers (Code, Email) values ('C', NULL)",
             [(2627, "Violation of UNIQUE KEY constraint '{uq}'. Cannot insert duplicate key in object "
                     "'dbo.Customers'. The duplicate key value is (<NULL>).")]),
            ("insert into Customers (Code) values ('a')",
             [(2627, "Violation of UNIQUE KEY constraint 'UQ_Customers_Code'. Cannot insert duplicate key in "
                     "object 'dbo.Customers'. The duplicate key value is (a    ).")]),
            ("insert into Customers (Code, Email, Region) values ('D', 'd@x', 'north')",
             [(2601, "Cannot insert duplicate key row in object 'dbo.Customers' with unique index "
                     "'IX_Customers_Region_One'. The duplicate key value is (north).")]),
            ("update Customers set Email = 'a@x'",
             [(2627, "Violation of UNIQUE KEY constraint '{uq}'. Cannot insert duplicate key in object "
                     "'dbo.Customers'. The duplicate key value is (a@x).")]),
            ("insert into Log (Who, Code) values ('x', 1), ('X', 1)",
             [(2627, "Violation of UNIQUE KEY constraint 'UQ_Log'. Cannot insert duplicate key in object "
                     "'dbo.Log'. The duplicate key value is (X, 1).")]),
        ]
        uq = c.ok("select name from sys.key_constraints where name like 'UQ__Customer__%'")[0][0]
        before = c.ok("select * from Customers order by CustomerID")
        for sql, errors in cases:
            assert c.refused(sql) == [(n, text.format(uq=uq)) for n, text in errors], sql
        assert c.ok("select * from Customers order by CustomerID") == before
        c.ok("insert into Customers (Code, Email, Region) values ('E', 'e@x', NULL)")  # outside the filter
        c.ok("insert into Log (Who, Code) values (NULL, 1), (NULL, 2)")
        # Keys are unique once the statement is done: two rows may swap theirs.
        c.ok("update Customers set Code = case Code when 'A' then 'B' else 'A' end where Code in ('A', 'B')")
        assert c.ok("select Code from Customers order by CustomerID") == [["B    "], ["A    "], ["E    "]]
        # Two NULLs are duplicates for a new unique index, not outside its filter.
        assert c.refused("create unique index X on Customers (Region)") == [
            (1505, "The CREATE UNIQUE INDEX statement terminated because a duplicate key was found for the object "
                   "name 'dbo.Customers' and the index name 'X'. The duplicate key value is (<NULL>).")]
        c.ok("create unique index X on Customers (Region) where Region <> N'South' and Region is not null\n"
             "drop index if exists Nothing on Customers")
        assert c.ok("select filter_definition from sys.indexes where name = 'X'") == [
            ["([Region]<>N'South' AND [Region] IS NOT NULL)"]]


def test_refusals_change_nothing():
    with Sqlsim(BINARY, extra=["--database", "S1:shop"]) as sim:
        c = Client(sim, database="shop")
        c.ok(SCRIPT)
        c.ok("create table T (id int primary key, v varchar(10) default 'x', n int, s nvarchar(20))\n"
             "create index IX_T_v on T (v)\n create index IX_T_n on T (n, v)\n"
             "insert into T (id, v, n, s) values (1, 'a', 1, 'p'), (2, 'a', 1, 'p')")
        extra = INDEX_QUERIES + ["select * from T order by id"]
        cases = [
            ("create index IX_T_v on T (n)", [(1913, "The operation failed because an index or statistics with "
                                                     "name 'IX_T_v' already exists on table 'dbo.T'.")]),
            ("create clustered index C on T (n)", [(1902, "Cannot create more than one clustered index on table "
                                                          "'dbo.T'. Drop the existing clustered index '{pk}' before "
                                                          "creating another.")]),
            ("create index X on T (nothing)", [(1911, "Column name 'nothing' does not exist in the target table "
                                                      "or view.")]),
            ("create index X on Nothing (a)", [(1088, "Cannot find the object \"Nothing\" because it does not "
                                                      "exist or you do not have permissions.")]),
            ("create unique index X on T (v)", [(1505, "The CREATE UNIQUE INDEX statement terminated because a "
                                                       "duplicate key was found for the object name 'dbo.T' and "
                                                       "the index name 'X'. The duplicate key value is (a).")]),
            ("alter table T add constraint UQ_T unique (n, s)",
             [(1505, "The CREATE UNIQUE INDEX statement terminated because a duplicate key was found for the "
                     "object name 'dbo.T' and the index name 'UQ_T'. The duplicate key value is (1, p)."),
              (1750, "Could not create constraint or index. See previous errors.")]),
            ("drop index T.Nothing", [(3701, "Cannot drop the index 'T.Nothing', because it does not exist or you "
                                             "do not have permission.")]),
            ("drop index {pk} on T", [(3723, "An explicit DROP INDEX is not allowed on index 'T.{pk}'. It is being "
                                             "used for PRIMARY KEY constraint enforcement.")]),
            ("alter table T add constraint UQ2 unique clustered (s)", [
                (1902, "Cannot create more than one clustered index on table 'dbo.T'. Drop the existing clustered "
                       "index '{pk}' before creating another."),
                (1750, "Could not create constraint or index. See previous errors.")]),
            ("create index X on T (n) with (ignore_dup_key = on)",
             [(50000, "IGNORE_DUP_KEY = ON is not supported by sqlsim.")]),
            ("alter table T alter column n bigint", [
                (5074, "The index 'IX_T_n' is dependent on column 'n'."),
                (4922, "ALTER TABLE ALTER COLUMN n failed because one or more objects access this column.")]),
            ("alter table T alter column v varchar(5)", [
                (5074, "The index 'IX_T_v' is dependent on column 'v'."),
                (5074, "The index 'IX_T_n' is dependent on column 'v'."),
                (4922, "ALTER TABLE ALTER COLUMN v failed because one or more objects access this column.")]),
            ("alter table Customers drop column Code", [
                (5074, "The object 'UQ_Customers_Code' is dependent on column 'Code'."),
                (5074, "The index 'IX_Customers_Region' is dependent on column 'Code'."),
                (4922, "ALTER TABLE DROP COLUMN Code failed because one or more objects access this column.")]),
            ("alter table Customers drop column CustomerID", [
                (5074, "The object 'PK_Customers' is dependent on column 'CustomerID'."),
                (5074, "The index 'IX_Customers_Region_One' is dependent on column 'CustomerID'."),
                (4922, "ALTER TABLE DROP COLUMN CustomerID failed because one or more objects access this "
                       "column.")]),
            ("alter table Customers alter column Code nvarchar(5)", [
                (5074, "The object 'UQ_Customers_Code' is dependent on column 'Code'."),
                (5074, "The index 'IX_Customers_Region' is dependent on column 'Code'."),
                (4922, "ALTER TABLE ALTER COLUMN Code failed because one or more objects access this column.")]),
        ]
        pk = c.ok("select name from sysobjects where xtype = 'PK' and parent_obj = object_id('T')")[0][0]
        df = c.ok("select name from sysobjects where xtype = 'D' and parent_obj = object_id('T')")[0][0]
        before = snapshot(c, extra)
        for sql, errors in cases:
            sql = sql.format(pk=pk)
            expected = [(n, text.format(pk=pk, df=df)) for n, text in errors]
            assert c.refused(sql) == expected, (sql, c.refused(sql))
            assert snapshot(c, extra) == before, sql
        # What the ALTER TABLE documentation lets through: an indexed varchar grows, a column with
        # a default changes length, a UNIQUE constraint's variable-length column changes length.
        c.ok("drop index IX_T_n on T\n alter table T alter column v varchar(30)")
        c.ok("alter table Customers alter column Email nvarchar(200)")
        assert c.ok("select length from syscolumns where id = object_id('T') and name = 'v'") == [["30"]]


if __name__ == "__main__":
    run_tests([test_the_catalogue_holds_every_index, test_rows_obey_unique_indexes_and_constraints,
               test_refusals_change_nothing])
