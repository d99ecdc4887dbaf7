/*
** Order entry sample: install script.
** Creates the OrderEntry database, its objects and a few rows to try them with.
*/
SET NOCOUNT ON
GO
SET ANSI_NULLS ON
GO
USE master
GO
if exists (select * from sysdatabases where name = 'OrderEntry')
	drop database OrderEntry
GO
CREATE DATABASE OrderEntry
GO
USE OrderEntry
GO
set quoted_identifier on
GO
SET DATEFORMAT mdy
GO
PRINT 'Dropping the objects of an earlier install'
GO
if exists (select * from sysobjects where id = object_id('dbo.usp_ArchiveShippedOrders') and OBJECTPROPERTY(id, 'IsProcedure') = 1)
	drop procedure dbo.usp_ArchiveShippedOrders
GO
if exists (select * from sysobjects where id = object_id('dbo.usp_OrderValue') and OBJECTPROPERTY(id, 'IsProcedure') = 1)
	drop procedure dbo.usp_OrderValue
GO
if exists (select * from sysobjects where id = object_id('dbo.usp_CustomerOrders') and OBJECTPROPERTY(id, 'IsProcedure') = 1)
	drop procedure dbo.usp_CustomerOrders
GO
if exists (select * from sysobjects where id = object_id('dbo.vw_CustomerTotals') and OBJECTPROPERTY(id, 'IsView') = 1)
	drop view dbo.vw_CustomerTotals
GO
if exists (select * from sysobjects where id = object_id('dbo.vw_OrderTotals') and OBJECTPROPERTY(id, 'IsView') = 1)
	drop view dbo.vw_OrderTotals
GO
if exists (select * from sysobjects where id = object_id('dbo.vw_ExpensiveProducts') and OBJECTPROPERTY(id, 'IsView') = 1)
	drop view dbo.vw_ExpensiveProducts
GO
if exists (select * from sysobjects where id = object_id('dbo.vw_ProductList') and OBJECTPROPERTY(id, 'IsView') = 1)
	drop view dbo.vw_ProductList
GO
IF OBJECT_ID('dbo.fn_ReportingChain') IS NOT NULL
	DROP FUNCTION dbo.fn_ReportingChain
GO
IF OBJECT_ID('dbo.fn_ProductsOfCategory') IS NOT NULL
	DROP FUNCTION dbo.fn_ProductsOfCategory
GO
IF OBJECT_ID('dbo.fn_LineTotal') IS NOT NULL
	DROP FUNCTION dbo.fn_LineTotal
GO
if exists (select * from sysobjects where id = object_id('dbo.EmployeeAudit') and OBJECTPROPERTY(id, 'IsUserTable') = 1)
	drop table dbo.EmployeeAudit
GO
if exists (select * from sysobjects where id = object_id('dbo.OrderLines') and OBJECTPROPERTY(id, 'IsUserTable') = 1)
	drop table dbo.OrderLines
GO
if exists (select * from sysobjects where id = object_id('dbo.Orders') and OBJECTPROPERTY(id, 'IsUserTable') = 1)
	drop table dbo.Orders
GO
if exists (select * from sysobjects where id = object_id('dbo.Products') and OBJECTPROPERTY(id, 'IsUserTable') = 1)
	drop table dbo.Products
GO
if exists (select * from sysobjects where id = object_id('dbo.Employees') and OBJECTPROPERTY(id, 'IsUserTable') = 1)
	drop table dbo.Employees
GO
if exists (select * from sysobjects where id = object_id('dbo.Customers') and OBJECTPROPERTY(id, 'IsUserTable') = 1)
	drop table dbo.Customers
GO
if exists (select * from sysobjects where id = object_id('dbo.Suppliers') and OBJECTPROPERTY(id, 'IsUserTable') = 1)
	drop table dbo.Suppliers
GO
if exists (select * from sysobjects where id = object_id('dbo.Categories') and OBJECTPROPERTY(id, 'IsUserTable') = 1)
	drop table dbo.Categories
GO
if exists (select * from systypes where name = 'PhoneNumber')
	exec sp_droptype 'PhoneNumber'
GO
if exists (select * from systypes where name = 'CountryCode')
	exec sp_droptype 'CountryCode'
GO
PRINT 'Creating the types and tables'
GO
exec sp_addtype N'CountryCode', N'char(2)', N'NOT NULL'
GO
exec sp_addtype PhoneNumber, 'nvarchar(24)', 'NULL'
GO
CREATE FUNCTION dbo.fn_LineTotal (@UnitPrice money, @Quantity smallint, @Discount real)
RETURNS money
AS
BEGIN
	RETURN @UnitPrice * @Quantity * (1 - @Discount)
END
GO
CREATE TABLE dbo.Categories (
	CategoryID int IDENTITY (1, 1) NOT NULL CONSTRAINT PK_Categories PRIMARY KEY CLUSTERED,
	CategoryName nvarchar (15) NOT NULL CONSTRAINT UQ_Categories_CategoryName UNIQUE,
	Description ntext NULL,
	Picture image NULL
)
GO
CREATE TABLE dbo.Suppliers (
	SupplierID int IDENTITY (1, 1) PRIMARY KEY,
	CompanyName nvarchar (40) NOT NULL UNIQUE NONCLUSTERED,
	ContactName nvarchar (30) NULL,
	Country CountryCode,
	Phone PhoneNumber,
	HomePage text NULL
)
GO
CREATE TABLE dbo.Customers (
	CustomerID nchar (5) NOT NULL,
	CompanyName nvarchar (40) NOT NULL,
	ContactName nvarchar (30) NULL,
	City nvarchar (15) NULL,
	Country CountryCode,
	Phone PhoneNumber,
	RowGuid uniqueidentifier NOT NULL CONSTRAINT DF_Customers_RowGuid DEFAULT (NEWID()),
	CONSTRAINT PK_Customers PRIMARY KEY CLUSTERED (CustomerID),
	CONSTRAINT CK_Customers_CustomerID CHECK (CustomerID LIKE '[A-Z][A-Z][A-Z][A-Z][A-Z]')
)
GO
CREATE TABLE dbo.Employees (
	EmployeeID int IDENTITY (1, 1) NOT NULL,
	LastName nvarchar (20) NOT NULL,
	FirstName nvarchar (10) NOT NULL,
	Title nvarchar (30) NULL,
	BirthDate datetime NULL CONSTRAINT CK_Employees_BirthDate CHECK (BirthDate < GetDate()),
	HireDate datetime NULL,
	ReportsTo int NULL CONSTRAINT FK_Employees_Employees REFERENCES dbo.Employees (EmployeeID),
	Notes ntext NULL,
	CONSTRAINT PK_Employees PRIMARY KEY (EmployeeID)
)
GO
CREATE TABLE dbo.Products (
	ProductID int IDENTITY (1, 1) NOT NULL,
	ProductName nvarchar (40) NOT NULL,
	SupplierID int NULL,
	CategoryID int NULL REFERENCES dbo.Categories (CategoryID),
	QuantityPerUnit nvarchar (20) NULL,
	UnitPrice money NULL CONSTRAINT DF_Products_UnitPrice DEFAULT (0)
		CONSTRAINT CK_Products_UnitPrice CHECK (UnitPrice >= 0),
	UnitsInStock smallint NULL DEFAULT 0 CHECK (UnitsInStock >= 0),
	Weight decimal (9, 3) NULL,
	Discontinued bit NOT NULL CONSTRAINT DF_Products_Discontinued DEFAULT (0),
	CONSTRAINT PK_Products PRIMARY KEY CLUSTERED (ProductID),
	CONSTRAINT FK_Products_Suppliers FOREIGN KEY (SupplierID) REFERENCES dbo.Suppliers (SupplierID) ON DELETE SET NULL
)
GO
CREATE TABLE dbo.Orders (
	OrderID int IDENTITY (1, 1) NOT NULL CONSTRAINT PK_Orders PRIMARY KEY,
	CustomerID nchar (5) NULL CONSTRAINT FK_Orders_Customers REFERENCES dbo.Customers (CustomerID) ON UPDATE CASCADE,
	EmployeeID int NULL,
	OrderDate datetime NOT NULL CONSTRAINT DF_Orders_OrderDate DEFAULT (GETDATE()),
	ShippedDate datetime NULL,
	Freight money NOT NULL DEFAULT (0),
	ShipCountry CountryCode NULL,
	CONSTRAINT CK_Orders_ShippedDate CHECK (ShippedDate IS NULL OR ShippedDate >= OrderDate)
)
GO
CREATE TABLE dbo.OrderLines (
	OrderID int NOT NULL CONSTRAINT FK_OrderLines_Orders REFERENCES dbo.Orders (OrderID) ON DELETE CASCADE,
	ProductID int NOT NULL CONSTRAINT FK_OrderLines_Products REFERENCES dbo.Products (ProductID),
	UnitPrice money NOT NULL CONSTRAINT DF_OrderLines_UnitPrice DEFAULT (0),
	Quantity smallint NOT NULL CONSTRAINT DF_OrderLines_Quantity DEFAULT (1)
		CONSTRAINT CK_OrderLines_Quantity CHECK (Quantity > 0),
	Discount real NOT NULL CONSTRAINT DF_OrderLines_Discount DEFAULT (0)
		CONSTRAINT CK_OrderLines_Discount CHECK (Discount BETWEEN 0 AND 1),
	CONSTRAINT PK_OrderLines PRIMARY KEY CLUSTERED (OrderID, ProductID)
)
GO
CREATE TABLE dbo.EmployeeAudit (
	EmployeeID int NOT NULL,
	Action char (1) NOT NULL CHECK (Action IN ('D', 'U')),
	ChangedAt datetime NOT NULL DEFAULT (getdate()),
	ChangedBy nvarchar (128) NULL DEFAULT (SUSER_SNAME())
)
GO
PRINT 'Creating the views and functions'
GO
CREATE VIEW dbo.vw_ProductList
AS
SELECT p.ProductID, p.ProductName, c.CategoryName, p.UnitPrice
FROM dbo.Products AS p
INNER JOIN dbo.Categories AS c ON c.CategoryID = p.CategoryID
WHERE p.Discontinued = 0
GO
CREATE VIEW dbo.vw_ExpensiveProducts
AS
SELECT ProductID, ProductName, CategoryName, UnitPrice
FROM dbo.vw_ProductList
WHERE UnitPrice > 50
GO
CREATE VIEW dbo.vw_OrderTotals
WITH SCHEMABINDING
AS
SELECT ol.OrderID, COUNT_BIG(*) AS LineCount, SUM(ol.UnitPrice * ol.Quantity) AS Gross
FROM dbo.OrderLines AS ol
GROUP BY ol.OrderID
GO
CREATE VIEW dbo.vw_CustomerTotals
AS
SELECT o.CustomerID, COUNT(*) AS Orders, SUM(t.Gross) AS Gross
FROM dbo.Orders AS o
INNER JOIN dbo.vw_OrderTotals AS t ON t.OrderID = o.OrderID
GROUP BY o.CustomerID
GO
CREATE FUNCTION dbo.fn_ProductsOfCategory (@CategoryID int)
RETURNS TABLE
AS
RETURN (SELECT ProductID, ProductName, UnitPrice FROM dbo.Products WHERE CategoryID = @CategoryID)
GO
CREATE FUNCTION dbo.fn_ReportingChain (@EmployeeID int)
RETURNS @chain TABLE (EmployeeID int NOT NULL, LastName nvarchar(20) NOT NULL, Depth int NOT NULL)
AS
BEGIN
	DECLARE @depth int
	SET @depth = 0
	WHILE @EmployeeID IS NOT NULL AND @depth < 32
	BEGIN
		INSERT INTO @chain (EmployeeID, LastName, Depth)
		SELECT EmployeeID, LastName, @depth FROM dbo.Employees WHERE EmployeeID = @EmployeeID
		SELECT @EmployeeID = ReportsTo FROM dbo.Employees WHERE EmployeeID = @EmployeeID
		SET @depth = @depth + 1
	END
	RETURN
END
GO
PRINT 'Loading the rows'
GO
set identity_insert dbo.Categories on
GO
insert dbo.Categories (CategoryID, CategoryName, Description, Picture) values (1, 'Beverages', 'Soft drinks, coffees, teas, beers and ales from small breweries', 0x89504E470D0A1A0A)
insert dbo.Categories (CategoryID, CategoryName, Description) values (2, 'Condiments', 'Sweet and savory sauces, relishes, spreads and seasonings')
insert dbo.Categories (CategoryID, CategoryName, Description) values (3, N'茶叶', N'绿茶、乌龙茶和红茶，产自福建和云南的茶园')
GO
set identity_insert dbo.Categories off
GO
insert dbo.Suppliers (CompanyName, ContactName, Country, Phone, HomePage) values ('Nordic Larder AB', 'Ingrid Holm', 'SE', '+46 31 555 0142', 'http://larder.example/catalogue/index.html')
insert dbo.Suppliers (CompanyName, ContactName, Country, Phone) values (N'Fujian Tea Gardens', N'王芳', 'CN', '+86 591 5550 1234')
insert dbo.Suppliers (CompanyName, Country) values ('Bayou Pantry', 'US')
GO
insert dbo.Customers (CustomerID, CompanyName, ContactName, City, Country, Phone) values ('ALPKA', 'Alpine Kaffeehaus', 'Lena Gruber', 'Innsbruck', 'AT', '0512-555-381')
insert dbo.Customers (CustomerID, CompanyName, ContactName, City, Country) values ('HARBR', 'Harbour Deli', 'Tom Reyes', 'Wellington', 'NZ')
insert dbo.Customers (CustomerID, CompanyName, ContactName, City, Country, Phone) values ('SHANG', N'上海食品贸易', N'李伟', N'上海', 'CN', '+86 21 5555 0188')
GO
insert dbo.Employees (LastName, FirstName, Title, BirthDate, HireDate, ReportsTo, Notes) values ('Marsh', 'Adele', 'Sales Director', '03/14/1970', '01/05/2015', NULL, 'Joined from a wholesale grocer; runs the northern and eastern territories.')
insert dbo.Employees (LastName, FirstName, Title, BirthDate, HireDate, ReportsTo, Notes) values ('Okafor', 'Daniel', 'Sales Representative', '11/02/1988', '06/17/2019', 1, 'Speaks Igbo, English and French; handles the export customers.')
insert dbo.Employees (LastName, FirstName, Title, BirthDate, HireDate, ReportsTo, Notes) values (N'陈', N'静', 'Sales Representative', '07/21/1992', '09/01/2021', 1, N'负责亚洲客户，会说普通话和粤语。')
GO
insert dbo.Products (ProductName, SupplierID, CategoryID, QuantityPerUnit, UnitPrice, UnitsInStock, Weight, Discontinued) values ('Lingonberry Cordial', 1, 1, '12 - 500 ml bottles', 18, 39, 6.25, 0)
insert dbo.Products (ProductName, SupplierID, CategoryID, QuantityPerUnit, UnitPrice, UnitsInStock, Weight, Discontinued) values ('Smoked Chili Relish', 3, 2, '24 - 250 g jars', 22.5, 0, 6, 1)
insert dbo.Products (ProductName, SupplierID, CategoryID, QuantityPerUnit, UnitPrice, UnitsInStock, Weight, Discontinued) values ('Tieguanyin Oolong', 2, 3, '20 - 100 g tins', 63, 17, 2.1, 0)
insert dbo.Products (ProductName, SupplierID, CategoryID, QuantityPerUnit, UnitPrice, UnitsInStock, Weight, Discontinued) values ('Smoked Chili Relish', 3, 2, '12 - 500 g jars', 24, 53, 6.3, 0)
GO
insert dbo.Orders (CustomerID, EmployeeID, OrderDate, ShippedDate, Freight, ShipCountry) values ('ALPKA', 2, '10/01/2026 09:30', '10/03/2026 14:00', 32.38, 'AT')
insert dbo.Orders (CustomerID, EmployeeID, OrderDate, Freight, ShipCountry) values ('SHANG', 3, '10/02/2026 11:00', 11.61, 'CN')
insert dbo.Orders (CustomerID, EmployeeID, OrderDate) values ('HARBR', 7, '10/05/2026 16:45')
GO
insert dbo.OrderLines (OrderID, ProductID, UnitPrice, Quantity, Discount) values (1, 1, 18, 12, 0)
insert dbo.OrderLines (OrderID, ProductID, UnitPrice, Quantity, Discount) values (1, 4, 24, 6, 0.05)
insert dbo.OrderLines (OrderID, ProductID, UnitPrice, Quantity, Discount) values (2, 3, 63, 10, 0.1)
GO
insert dbo.EmployeeAudit (EmployeeID, Action, ChangedAt, ChangedBy) values (4, 'D', '09/30/2026 17:05', 'dbo')
GO
PRINT 'Creating the indexes and the constraints that the rows had to wait for'
GO
CREATE INDEX IX_Suppliers_Country ON dbo.Suppliers (Country)
GO
CREATE INDEX IX_Customers_Country_City ON dbo.Customers (Country, City DESC)
GO
CREATE NONCLUSTERED INDEX IX_Employees_Name ON dbo.Employees (LastName, FirstName)
GO
CREATE INDEX IX_Products_CategoryID ON dbo.Products (CategoryID)
GO
CREATE INDEX IX_Products_ProductName ON dbo.Products (ProductName) INCLUDE (UnitPrice, UnitsInStock)
GO
CREATE UNIQUE INDEX IX_Products_Current ON dbo.Products (ProductName) WHERE Discontinued = 0
GO
CREATE INDEX IX_Orders_OrderDate ON dbo.Orders (OrderDate DESC)
GO
CREATE INDEX IX_Orders_CustomerID ON dbo.Orders (CustomerID)
GO
ALTER TABLE dbo.Orders WITH NOCHECK ADD CONSTRAINT FK_Orders_Employees FOREIGN KEY (EmployeeID) REFERENCES dbo.Employees (EmployeeID) ON DELETE SET NULL
GO
-- a line entered as a credit note, before prices had to be positive
insert dbo.OrderLines (OrderID, ProductID, UnitPrice, Quantity, Discount) values (3, 2, -1, 1, 0)
GO
ALTER TABLE dbo.OrderLines WITH NOCHECK ADD CONSTRAINT CK_OrderLines_UnitPrice CHECK (UnitPrice >= 0)
GO
ALTER TABLE dbo.OrderLines NOCHECK CONSTRAINT CK_OrderLines_UnitPrice
GO
PRINT 'Creating the procedures and triggers'
GO
CREATE PROCEDURE dbo.usp_CustomerOrders @CustomerID nchar(5)
AS
SET NOCOUNT ON
SELECT o.OrderID, o.OrderDate, t.Gross
FROM dbo.Orders AS o
INNER JOIN dbo.vw_OrderTotals AS t ON t.OrderID = o.OrderID
WHERE o.CustomerID = @CustomerID
ORDER BY o.OrderDate DESC
GO
create procedure dbo.usp_OrderValue @OrderID int
as
select sum(dbo.fn_LineTotal(UnitPrice, Quantity, Discount)) as Value from dbo.OrderLines where OrderID = @OrderID
GO
create procedure dbo.usp_ArchiveShippedOrders @Before datetime
as
insert into dbo.OrdersArchive (OrderID, CustomerID, OrderDate)
select OrderID, CustomerID, OrderDate from dbo.Orders where ShippedDate < @Before
GO
CREATE TRIGGER dbo.trg_OrderLines_Stock ON dbo.OrderLines
FOR INSERT
AS
UPDATE p SET UnitsInStock = p.UnitsInStock - i.Quantity
FROM dbo.Products AS p INNER JOIN inserted AS i ON i.ProductID = p.ProductID
GO
CREATE TRIGGER dbo.trg_Employees_Audit ON dbo.Employees
AFTER UPDATE, DELETE
AS
INSERT INTO dbo.EmployeeAudit (EmployeeID, Action)
SELECT d.EmployeeID, CASE WHEN EXISTS (SELECT * FROM inserted) THEN 'U' ELSE 'D' END FROM deleted AS d
GO
DISABLE TRIGGER dbo.trg_Employees_Audit ON dbo.Employees
GO
UPDATE STATISTICS dbo.Products
GO
CHECKPOINT
GO
PRINT 'OrderEntry is installed'
GO
