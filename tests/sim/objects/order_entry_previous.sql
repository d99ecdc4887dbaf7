USE [OrderEntry]
GO
/****** Object:  UserDefinedDataType [dbo].[CountryCode]    Script Date: 3/2/2026 4:12:40 PM ******/
CREATE TYPE [dbo].[CountryCode] FROM [char](2) NOT NULL
GO
/****** Object:  UserDefinedDataType [dbo].[PhoneNumber]    Script Date: 3/2/2026 4:12:40 PM ******/
CREATE TYPE [dbo].[PhoneNumber] FROM [nvarchar](24) NULL
GO
/****** Object:  UserDefinedFunction [dbo].[fn_LineTotal]    Script Date: 3/2/2026 4:12:40 PM ******/
SET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
CREATE FUNCTION [dbo].[fn_LineTotal] (@UnitPrice money, @Quantity smallint, @Discount real)
RETURNS money
AS
BEGIN
	-- the value of one order line after its discount
	RETURN @UnitPrice * @Quantity * (1 - @Discount)
END
GO
/****** Object:  Table [dbo].[Categories]    Script Date: 3/2/2026 4:12:40 PM ******/
SET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
IF NOT EXISTS (SELECT * FROM sys.objects WHERE object_id = OBJECT_ID(N'[dbo].[Categories]') AND type in (N'U'))
BEGIN
CREATE TABLE [dbo].[Categories](
	[CategoryID] [int] IDENTITY(1,1) NOT NULL,
	[CategoryName] [nvarchar](15) NOT NULL,
	[Description] [ntext] NULL,
	[Picture] [image] NULL,
 CONSTRAINT [PK_Categories] PRIMARY KEY CLUSTERED 
(
	[CategoryID] ASC
)WITH (PAD_INDEX = OFF, STATISTICS_NORECOMPUTE = OFF, IGNORE_DUP_KEY = OFF, ALLOW_ROW_LOCKS = ON, ALLOW_PAGE_LOCKS = ON, OPTIMIZE_FOR_SEQUENTIAL_KEY = OFF) ON [PRIMARY],
 CONSTRAINT [UQ_Categories_CategoryName] UNIQUE NONCLUSTERED 
(
	[CategoryName] ASC
)WITH (PAD_INDEX = OFF, STATISTICS_NORECOMPUTE = OFF, IGNORE_DUP_KEY = OFF, ALLOW_ROW_LOCKS = ON, ALLOW_PAGE_LOCKS = ON, OPTIMIZE_FOR_SEQUENTIAL_KEY = OFF) ON [PRIMARY]
) ON [PRIMARY] TEXTIMAGE_ON [PRIMARY]
END
GO
/****** Object:  Table [dbo].[Suppliers]    Script Date: 3/2/2026 4:12:40 PM ******/
SET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
IF NOT EXISTS (SELECT * FROM sys.objects WHERE object_id = OBJECT_ID(N'[dbo].[Suppliers]') AND type in (N'U'))
BEGIN
CREATE TABLE [dbo].[Suppliers](
	[SupplierID] [int] IDENTITY(1,1) NOT NULL,
	[CompanyName] [nvarchar](40) NOT NULL,
	[ContactName] [nvarchar](30) NULL,
	[Country] [dbo].[CountryCode] NOT NULL,
	[Phone] [dbo].[PhoneNumber] NULL,
	[HomePage] [text] NULL,
PRIMARY KEY CLUSTERED 
(
	[SupplierID] ASC
)WITH (PAD_INDEX = OFF, STATISTICS_NORECOMPUTE = OFF, IGNORE_DUP_KEY = OFF, ALLOW_ROW_LOCKS = ON, ALLOW_PAGE_LOCKS = ON, OPTIMIZE_FOR_SEQUENTIAL_KEY = OFF) ON [PRIMARY],
UNIQUE NONCLUSTERED 
(
	[CompanyName] ASC
)WITH (PAD_INDEX = OFF, STATISTICS_NORECOMPUTE = OFF, IGNORE_DUP_KEY = OFF, ALLOW_ROW_LOCKS = ON, ALLOW_PAGE_LOCKS = ON, OPTIMIZE_FOR_SEQUENTIAL_KEY = OFF) ON [PRIMARY]
) ON [PRIMARY] TEXTIMAGE_ON [PRIMARY]
END
GO
/****** Object:  Table [dbo].[Customers]    Script Date: 3/2/2026 4:12:40 PM ******/
SET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
IF NOT EXISTS (SELECT * FROM sys.objects WHERE object_id = OBJECT_ID(N'[dbo].[Customers]') AND type in (N'U'))
BEGIN
CREATE TABLE [dbo].[Customers](
	[CustomerID] [nchar](5) NOT NULL,
	[CompanyName] [nvarchar](40) NOT NULL,
	[ContactName] [nvarchar](30) NULL,
	[City] [nvarchar](15) NULL,
	[Country] [dbo].[CountryCode] NOT NULL,
	[Phone] [dbo].[PhoneNumber] NULL,
 CONSTRAINT [PK_Customers] PRIMARY KEY CLUSTERED 
(
	[CustomerID] ASC
)WITH (PAD_INDEX = OFF, STATISTICS_NORECOMPUTE = OFF, IGNORE_DUP_KEY = OFF, ALLOW_ROW_LOCKS = ON, ALLOW_PAGE_LOCKS = ON, OPTIMIZE_FOR_SEQUENTIAL_KEY = OFF) ON [PRIMARY]
) ON [PRIMARY]
END
GO
/****** Object:  Table [dbo].[Employees]    Script Date: 3/2/2026 4:12:40 PM ******/
SET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
IF NOT EXISTS (SELECT * FROM sys.objects WHERE object_id = OBJECT_ID(N'[dbo].[Employees]') AND type in (N'U'))
BEGIN
CREATE TABLE [dbo].[Employees](
	[EmployeeID] [int] IDENTITY(1,1) NOT NULL,
	[LastName] [nvarchar](20) NOT NULL,
	[FirstName] [nvarchar](10) NOT NULL,
	[Title] [nvarchar](30) NULL,
	[BirthDate] [datetime] NULL,
	[HireDate] [datetime] NULL,
	[ReportsTo] [int] NULL,
	[Notes] [ntext] NULL,
 CONSTRAINT [PK_Employees] PRIMARY KEY CLUSTERED 
(
	[EmployeeID] ASC
)WITH (PAD_INDEX = OFF, STATISTICS_NORECOMPUTE = OFF, IGNORE_DUP_KEY = OFF, ALLOW_ROW_LOCKS = ON, ALLOW_PAGE_LOCKS = ON, OPTIMIZE_FOR_SEQUENTIAL_KEY = OFF) ON [PRIMARY]
) ON [PRIMARY] TEXTIMAGE_ON [PRIMARY]
END
GO
/****** Object:  Table [dbo].[Products]    Script Date: 3/2/2026 4:12:40 PM ******/
SET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
IF NOT EXISTS (SELECT * FROM sys.objects WHERE object_id = OBJECT_ID(N'[dbo].[Products]') AND type in (N'U'))
BEGIN
CREATE TABLE [dbo].[Products](
	[ProductID] [int] IDENTITY(1,1) NOT NULL,
	[ProductName] [nvarchar](40) NOT NULL,
	[SupplierID] [int] NULL,
	[CategoryID] [int] NULL,
	[QuantityPerUnit] [varchar](20) NULL,
	[UnitPrice] [money] NULL,
	[UnitsInStock] [smallint] NULL,
	[Discontinued] [bit] NOT NULL,
 CONSTRAINT [PK_Products] PRIMARY KEY CLUSTERED 
(
	[ProductID] ASC
)WITH (PAD_INDEX = OFF, STATISTICS_NORECOMPUTE = OFF, IGNORE_DUP_KEY = OFF, ALLOW_ROW_LOCKS = ON, ALLOW_PAGE_LOCKS = ON, OPTIMIZE_FOR_SEQUENTIAL_KEY = OFF) ON [PRIMARY]
) ON [PRIMARY]
END
GO
/****** Object:  Table [dbo].[Orders]    Script Date: 3/2/2026 4:12:40 PM ******/
SET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
IF NOT EXISTS (SELECT * FROM sys.objects WHERE object_id = OBJECT_ID(N'[dbo].[Orders]') AND type in (N'U'))
BEGIN
CREATE TABLE [dbo].[Orders](
	[OrderID] [int] IDENTITY(1,1) NOT NULL,
	[CustomerID] [nchar](5) NULL,
	[EmployeeID] [int] NULL,
	[OrderDate] [datetime] NOT NULL,
	[ShippedDate] [datetime] NULL,
	[Freight] [money] NOT NULL,
	[ShipCountry] [dbo].[CountryCode] NULL,
 CONSTRAINT [PK_Orders] PRIMARY KEY CLUSTERED 
(
	[OrderID] ASC
)WITH (PAD_INDEX = OFF, STATISTICS_NORECOMPUTE = OFF, IGNORE_DUP_KEY = OFF, ALLOW_ROW_LOCKS = ON, ALLOW_PAGE_LOCKS = ON, OPTIMIZE_FOR_SEQUENTIAL_KEY = OFF) ON [PRIMARY]
) ON [PRIMARY]
END
GO
/****** Object:  Table [dbo].[OrderLines]    Script Date: 3/2/2026 4:12:40 PM ******/
SET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
IF NOT EXISTS (SELECT * FROM sys.objects WHERE object_id = OBJECT_ID(N'[dbo].[OrderLines]') AND type in (N'U'))
BEGIN
CREATE TABLE [dbo].[OrderLines](
	[OrderID] [int] NOT NULL,
	[ProductID] [int] NOT NULL,
	[UnitPrice] [money] NOT NULL,
	[Quantity] [smallint] NOT NULL,
	[Discount] [real] NOT NULL,
 CONSTRAINT [PK_OrderLines] PRIMARY KEY CLUSTERED 
(
	[OrderID] ASC,
	[ProductID] ASC
)WITH (PAD_INDEX = OFF, STATISTICS_NORECOMPUTE = OFF, IGNORE_DUP_KEY = OFF, ALLOW_ROW_LOCKS = ON, ALLOW_PAGE_LOCKS = ON, OPTIMIZE_FOR_SEQUENTIAL_KEY = OFF) ON [PRIMARY]
) ON [PRIMARY]
END
GO
/****** Object:  Table [dbo].[EmployeeAudit]    Script Date: 3/2/2026 4:12:40 PM ******/
SET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
IF NOT EXISTS (SELECT * FROM sys.objects WHERE object_id = OBJECT_ID(N'[dbo].[EmployeeAudit]') AND type in (N'U'))
BEGIN
CREATE TABLE [dbo].[EmployeeAudit](
	[EmployeeID] [int] NOT NULL,
	[Action] [char](1) NOT NULL,
	[ChangedAt] [datetime] NOT NULL,
	[ChangedBy] [nvarchar](128) NULL
) ON [PRIMARY]
END
GO
/****** Object:  View [dbo].[vw_ProductList]    Script Date: 3/2/2026 4:12:40 PM ******/
SET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
CREATE VIEW [dbo].[vw_ProductList]
AS
SELECT p.ProductID, p.ProductName, c.CategoryName, p.UnitPrice
FROM dbo.Products AS p
INNER JOIN dbo.Categories AS c ON c.CategoryID = p.CategoryID
WHERE p.Discontinued = 0
GO
/****** Object:  View [dbo].[vw_ExpensiveProducts]    Script Date: 3/2/2026 4:12:40 PM ******/
SET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
CREATE VIEW [dbo].[vw_ExpensiveProducts]
AS
SELECT ProductID, ProductName, CategoryName, UnitPrice
FROM dbo.vw_ProductList
WHERE UnitPrice > 50
GO
/****** Object:  View [dbo].[vw_OrderTotals]    Script Date: 3/2/2026 4:12:40 PM ******/
SET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
CREATE VIEW [dbo].[vw_OrderTotals]
WITH SCHEMABINDING
AS
SELECT ol.OrderID, COUNT_BIG(*) AS LineCount, SUM(ol.UnitPrice * ol.Quantity) AS Gross
FROM dbo.OrderLines AS ol
GROUP BY ol.OrderID
GO
/****** Object:  UserDefinedFunction [dbo].[fn_ProductsOfCategory]    Script Date: 3/2/2026 4:12:40 PM ******/
SET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
CREATE FUNCTION [dbo].[fn_ProductsOfCategory] (@CategoryID int)
RETURNS TABLE
AS
RETURN
(
	SELECT ProductID, ProductName, UnitPrice
	FROM dbo.Products
	WHERE CategoryID = @CategoryID
)
GO
/****** Object:  UserDefinedFunction [dbo].[fn_ReportingChain]    Script Date: 3/2/2026 4:12:40 PM ******/
SET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
CREATE FUNCTION [dbo].[fn_ReportingChain] (@EmployeeID int)
RETURNS @chain TABLE (EmployeeID int NOT NULL, LastName nvarchar(20) NOT NULL, Depth int NOT NULL)
AS
BEGIN
	DECLARE @depth int = 0
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
SET IDENTITY_INSERT [dbo].[Categories] ON 
GO
INSERT [dbo].[Categories] ([CategoryID], [CategoryName], [Description], [Picture]) VALUES (1, N'Beverages', N'Soft drinks, coffees, teas, beers and ales from small breweries', 0x89504E470D0A1A0A)
INSERT [dbo].[Categories] ([CategoryID], [CategoryName], [Description], [Picture]) VALUES (2, N'Condiments', N'Sweet and savory sauces, relishes, spreads and seasonings', NULL)
INSERT [dbo].[Categories] ([CategoryID], [CategoryName], [Description], [Picture]) VALUES (3, N'茶叶', N'绿茶、乌龙茶和红茶，产自福建和云南的茶园', NULL)
SET IDENTITY_INSERT [dbo].[Categories] OFF
GO
SET IDENTITY_INSERT [dbo].[Suppliers] ON 
GO
INSERT [dbo].[Suppliers] ([SupplierID], [CompanyName], [ContactName], [Country], [Phone], [HomePage]) VALUES (1, N'Nordic Larder AB', N'Ingrid Holm', N'SE', N'+46 31 555 0142', 'http://larder.example/catalogue/index.html')
INSERT [dbo].[Suppliers] ([SupplierID], [CompanyName], [ContactName], [Country], [Phone], [HomePage]) VALUES (2, N'Fujian Tea Gardens', N'王芳', N'CN', N'+86 591 5550 1234', NULL)
INSERT [dbo].[Suppliers] ([SupplierID], [CompanyName], [ContactName], [Country], [Phone], [HomePage]) VALUES (3, N'Bayou Pantry', NULL, N'US', NULL, NULL)
SET IDENTITY_INSERT [dbo].[Suppliers] OFF
GO
INSERT [dbo].[Customers] ([CustomerID], [CompanyName], [ContactName], [City], [Country], [Phone]) VALUES (N'ALPKA', N'Alpine Kaffeehaus', N'Lena Gruber', N'Innsbruck', N'AT', N'0512-555-381')
INSERT [dbo].[Customers] ([CustomerID], [CompanyName], [ContactName], [City], [Country], [Phone]) VALUES (N'HARBR', N'Harbour Deli', N'Tom Reyes', N'Wellington', N'NZ', NULL)
INSERT [dbo].[Customers] ([CustomerID], [CompanyName], [ContactName], [City], [Country], [Phone]) VALUES (N'SHANG', N'上海食品贸易', N'李伟', N'上海', N'CN', N'+86 21 5555 0188')
GO
SET IDENTITY_INSERT [dbo].[Employees] ON 
GO
INSERT [dbo].[Employees] ([EmployeeID], [LastName], [FirstName], [Title], [BirthDate], [HireDate], [ReportsTo], [Notes]) VALUES (1, N'Marsh', N'Adele', N'Sales Director', CAST(N'1970-03-14T00:00:00.000' AS DateTime), CAST(N'2015-01-05T00:00:00.000' AS DateTime), NULL, N'Joined from a wholesale grocer; runs the northern and eastern territories.')
INSERT [dbo].[Employees] ([EmployeeID], [LastName], [FirstName], [Title], [BirthDate], [HireDate], [ReportsTo], [Notes]) VALUES (2, N'Okafor', N'Daniel', N'Sales Representative', CAST(N'1988-11-02T00:00:00.000' AS DateTime), CAST(N'2019-06-17T00:00:00.000' AS DateTime), 1, N'Speaks Igbo, English and French; handles the export customers.')
INSERT [dbo].[Employees] ([EmployeeID], [LastName], [FirstName], [Title], [BirthDate], [HireDate], [ReportsTo], [Notes]) VALUES (3, N'陈', N'静', N'Sales Representative', CAST(N'1992-07-21T00:00:00.000' AS DateTime), CAST(N'2021-09-01T00:00:00.000' AS DateTime), 1, N'负责亚洲客户，会说普通话和粤语。')
SET IDENTITY_INSERT [dbo].[Employees] OFF
GO
SET IDENTITY_INSERT [dbo].[Products] ON 
GO
INSERT [dbo].[Products] ([ProductID], [ProductName], [SupplierID], [CategoryID], [QuantityPerUnit], [UnitPrice], [UnitsInStock], [Discontinued]) VALUES (1, N'Lingonberry Cordial', 1, 1, '12 - 500 ml bottles', 18.0000, 39, 0)
INSERT [dbo].[Products] ([ProductID], [ProductName], [SupplierID], [CategoryID], [QuantityPerUnit], [UnitPrice], [UnitsInStock], [Discontinued]) VALUES (2, N'Smoked Chili Relish', 3, 2, '24 - 250 g jars', 22.5000, 0, 1)
INSERT [dbo].[Products] ([ProductID], [ProductName], [SupplierID], [CategoryID], [QuantityPerUnit], [UnitPrice], [UnitsInStock], [Discontinued]) VALUES (3, N'Tieguanyin Oolong', 2, 3, '20 - 100 g tins', 63.0000, 17, 0)
INSERT [dbo].[Products] ([ProductID], [ProductName], [SupplierID], [CategoryID], [QuantityPerUnit], [UnitPrice], [UnitsInStock], [Discontinued]) VALUES (4, N'Smoked Chili Relish', 3, 2, '12 - 500 g jars', 24.0000, 53, 0)
SET IDENTITY_INSERT [dbo].[Products] OFF
GO
SET IDENTITY_INSERT [dbo].[Orders] ON 
GO
INSERT [dbo].[Orders] ([OrderID], [CustomerID], [EmployeeID], [OrderDate], [ShippedDate], [Freight], [ShipCountry]) VALUES (1, N'ALPKA', 2, CAST(N'2026-10-01T09:30:00.000' AS DateTime), CAST(N'2026-10-03T14:00:00.000' AS DateTime), 32.3800, N'AT')
INSERT [dbo].[Orders] ([OrderID], [CustomerID], [EmployeeID], [OrderDate], [ShippedDate], [Freight], [ShipCountry]) VALUES (2, N'SHANG', 3, CAST(N'2026-10-02T11:00:00.000' AS DateTime), NULL, 11.6100, N'CN')
INSERT [dbo].[Orders] ([OrderID], [CustomerID], [EmployeeID], [OrderDate], [ShippedDate], [Freight], [ShipCountry]) VALUES (3, N'HARBR', 7, CAST(N'2026-10-05T16:45:00.000' AS DateTime), NULL, 0.0000, NULL)
SET IDENTITY_INSERT [dbo].[Orders] OFF
GO
INSERT [dbo].[OrderLines] ([OrderID], [ProductID], [UnitPrice], [Quantity], [Discount]) VALUES (1, 1, 18.0000, 12, 0)
INSERT [dbo].[OrderLines] ([OrderID], [ProductID], [UnitPrice], [Quantity], [Discount]) VALUES (1, 4, 24.0000, 6, 0.05)
INSERT [dbo].[OrderLines] ([OrderID], [ProductID], [UnitPrice], [Quantity], [Discount]) VALUES (2, 3, 63.0000, 10, 0.1)
INSERT [dbo].[OrderLines] ([OrderID], [ProductID], [UnitPrice], [Quantity], [Discount]) VALUES (3, 2, -1.0000, 1, 0)
GO
INSERT [dbo].[EmployeeAudit] ([EmployeeID], [Action], [ChangedAt], [ChangedBy]) VALUES (4, N'D', CAST(N'2026-09-30T17:05:00.000' AS DateTime), N'dbo')
GO
/****** Object:  Index [IX_Suppliers_Country]    Script Date: 3/2/2026 4:12:40 PM ******/
IF NOT EXISTS (SELECT * FROM sys.indexes WHERE object_id = OBJECT_ID(N'[dbo].[Suppliers]') AND name = N'IX_Suppliers_Country')
CREATE NONCLUSTERED INDEX [IX_Suppliers_Country] ON [dbo].[Suppliers]
(
	[Country] ASC
)WITH (PAD_INDEX = OFF, STATISTICS_NORECOMPUTE = OFF, SORT_IN_TEMPDB = OFF, DROP_EXISTING = OFF, ONLINE = OFF, ALLOW_ROW_LOCKS = ON, ALLOW_PAGE_LOCKS = ON, OPTIMIZE_FOR_SEQUENTIAL_KEY = OFF) ON [PRIMARY]
GO
/****** Object:  Index [IX_Customers_Country_City]    Script Date: 3/2/2026 4:12:40 PM ******/
IF NOT EXISTS (SELECT * FROM sys.indexes WHERE object_id = OBJECT_ID(N'[dbo].[Customers]') AND name = N'IX_Customers_Country_City')
CREATE NONCLUSTERED INDEX [IX_Customers_Country_City] ON [dbo].[Customers]
(
	[Country] ASC,
	[City] DESC
)WITH (PAD_INDEX = OFF, STATISTICS_NORECOMPUTE = OFF, SORT_IN_TEMPDB = OFF, DROP_EXISTING = OFF, ONLINE = OFF, ALLOW_ROW_LOCKS = ON, ALLOW_PAGE_LOCKS = ON, OPTIMIZE_FOR_SEQUENTIAL_KEY = OFF) ON [PRIMARY]
GO
/****** Object:  Index [IX_Employees_Name]    Script Date: 3/2/2026 4:12:40 PM ******/
CREATE NONCLUSTERED INDEX [IX_Employees_Name] ON [dbo].[Employees]
(
	[LastName] ASC,
	[FirstName] ASC
)WITH (PAD_INDEX = OFF, STATISTICS_NORECOMPUTE = OFF, SORT_IN_TEMPDB = OFF, DROP_EXISTING = OFF, ONLINE = OFF, ALLOW_ROW_LOCKS = ON, ALLOW_PAGE_LOCKS = ON, OPTIMIZE_FOR_SEQUENTIAL_KEY = OFF) ON [PRIMARY]
GO
/****** Object:  Index [IX_Products_CategoryID]    Script Date: 3/2/2026 4:12:40 PM ******/
CREATE NONCLUSTERED INDEX [IX_Products_CategoryID] ON [dbo].[Products]
(
	[CategoryID] ASC
)WITH (PAD_INDEX = OFF, STATISTICS_NORECOMPUTE = OFF, SORT_IN_TEMPDB = OFF, DROP_EXISTING = OFF, ONLINE = OFF, ALLOW_ROW_LOCKS = ON, ALLOW_PAGE_LOCKS = ON, OPTIMIZE_FOR_SEQUENTIAL_KEY = OFF) ON [PRIMARY]
GO
/****** Object:  Index [IX_Products_ProductName]    Script Date: 3/2/2026 4:12:40 PM ******/
CREATE NONCLUSTERED INDEX [IX_Products_ProductName] ON [dbo].[Products]
(
	[ProductName] ASC
)
INCLUDE([UnitPrice],[UnitsInStock]) WITH (PAD_INDEX = OFF, STATISTICS_NORECOMPUTE = OFF, SORT_IN_TEMPDB = OFF, DROP_EXISTING = OFF, ONLINE = OFF, ALLOW_ROW_LOCKS = ON, ALLOW_PAGE_LOCKS = ON, OPTIMIZE_FOR_SEQUENTIAL_KEY = OFF) ON [PRIMARY]
GO
/****** Object:  Index [IX_Orders_OrderDate]    Script Date: 3/2/2026 4:12:40 PM ******/
CREATE NONCLUSTERED INDEX [IX_Orders_OrderDate] ON [dbo].[Orders]
(
	[OrderDate] DESC
)WITH (PAD_INDEX = OFF, STATISTICS_NORECOMPUTE = OFF, SORT_IN_TEMPDB = OFF, DROP_EXISTING = OFF, ONLINE = OFF, ALLOW_ROW_LOCKS = ON, ALLOW_PAGE_LOCKS = ON, OPTIMIZE_FOR_SEQUENTIAL_KEY = OFF) ON [PRIMARY]
GO
/****** Object:  Index [IX_Orders_CustomerID]    Script Date: 3/2/2026 4:12:40 PM ******/
CREATE NONCLUSTERED INDEX [IX_Orders_CustomerID] ON [dbo].[Orders]
(
	[CustomerID] ASC
)WITH (PAD_INDEX = OFF, STATISTICS_NORECOMPUTE = OFF, SORT_IN_TEMPDB = OFF, DROP_EXISTING = OFF, ONLINE = OFF, ALLOW_ROW_LOCKS = ON, ALLOW_PAGE_LOCKS = ON, OPTIMIZE_FOR_SEQUENTIAL_KEY = OFF) ON [PRIMARY]
GO
ALTER TABLE [dbo].[Products] ADD  CONSTRAINT [DF_Products_UnitPrice]  DEFAULT ((0)) FOR [UnitPrice]
GO
ALTER TABLE [dbo].[Products] ADD  DEFAULT ((0)) FOR [UnitsInStock]
GO
ALTER TABLE [dbo].[Products] ADD  CONSTRAINT [DF_Products_Discontinued]  DEFAULT ((0)) FOR [Discontinued]
GO
ALTER TABLE [dbo].[Orders] ADD  CONSTRAINT [DF_Orders_OrderDate]  DEFAULT (getdate()) FOR [OrderDate]
GO
ALTER TABLE [dbo].[Orders] ADD  DEFAULT ((0)) FOR [Freight]
GO
ALTER TABLE [dbo].[OrderLines] ADD  CONSTRAINT [DF_OrderLines_UnitPrice]  DEFAULT ((0)) FOR [UnitPrice]
GO
ALTER TABLE [dbo].[OrderLines] ADD  CONSTRAINT [DF_OrderLines_Quantity]  DEFAULT ((1)) FOR [Quantity]
GO
ALTER TABLE [dbo].[OrderLines] ADD  CONSTRAINT [DF_OrderLines_Discount]  DEFAULT ((0)) FOR [Discount]
GO
ALTER TABLE [dbo].[EmployeeAudit] ADD  DEFAULT (getdate()) FOR [ChangedAt]
GO
ALTER TABLE [dbo].[EmployeeAudit] ADD  DEFAULT (suser_sname()) FOR [ChangedBy]
GO
IF NOT EXISTS (SELECT * FROM sys.foreign_keys WHERE object_id = OBJECT_ID(N'[dbo].[FK_Employees_Employees]') AND parent_object_id = OBJECT_ID(N'[dbo].[Employees]'))
ALTER TABLE [dbo].[Employees]  WITH CHECK ADD  CONSTRAINT [FK_Employees_Employees] FOREIGN KEY([ReportsTo])
REFERENCES [dbo].[Employees] ([EmployeeID])
GO
IF  EXISTS (SELECT * FROM sys.foreign_keys WHERE object_id = OBJECT_ID(N'[dbo].[FK_Employees_Employees]') AND parent_object_id = OBJECT_ID(N'[dbo].[Employees]'))
ALTER TABLE [dbo].[Employees] CHECK CONSTRAINT [FK_Employees_Employees]
GO
ALTER TABLE [dbo].[Products]  WITH CHECK ADD  CONSTRAINT [FK_Products_Suppliers] FOREIGN KEY([SupplierID])
REFERENCES [dbo].[Suppliers] ([SupplierID])
ON DELETE SET NULL
GO
ALTER TABLE [dbo].[Products] CHECK CONSTRAINT [FK_Products_Suppliers]
GO
ALTER TABLE [dbo].[Products]  WITH CHECK ADD FOREIGN KEY([CategoryID])
REFERENCES [dbo].[Categories] ([CategoryID])
GO
ALTER TABLE [dbo].[Orders]  WITH CHECK ADD  CONSTRAINT [FK_Orders_Customers] FOREIGN KEY([CustomerID])
REFERENCES [dbo].[Customers] ([CustomerID])
ON UPDATE CASCADE
GO
ALTER TABLE [dbo].[Orders] CHECK CONSTRAINT [FK_Orders_Customers]
GO
ALTER TABLE [dbo].[Orders]  WITH NOCHECK ADD  CONSTRAINT [FK_Orders_Employees] FOREIGN KEY([EmployeeID])
REFERENCES [dbo].[Employees] ([EmployeeID])
ON DELETE SET NULL
GO
ALTER TABLE [dbo].[Orders] CHECK CONSTRAINT [FK_Orders_Employees]
GO
ALTER TABLE [dbo].[OrderLines]  WITH CHECK ADD  CONSTRAINT [FK_OrderLines_Orders] FOREIGN KEY([OrderID])
REFERENCES [dbo].[Orders] ([OrderID])
ON DELETE CASCADE
GO
ALTER TABLE [dbo].[OrderLines] CHECK CONSTRAINT [FK_OrderLines_Orders]
GO
ALTER TABLE [dbo].[OrderLines]  WITH CHECK ADD  CONSTRAINT [FK_OrderLines_Products] FOREIGN KEY([ProductID])
REFERENCES [dbo].[Products] ([ProductID])
GO
ALTER TABLE [dbo].[OrderLines] CHECK CONSTRAINT [FK_OrderLines_Products]
GO
IF NOT EXISTS (SELECT * FROM sys.check_constraints WHERE object_id = OBJECT_ID(N'[dbo].[CK_Customers_CustomerID]') AND parent_object_id = OBJECT_ID(N'[dbo].[Customers]'))
ALTER TABLE [dbo].[Customers]  WITH CHECK ADD  CONSTRAINT [CK_Customers_CustomerID] CHECK  (([CustomerID] like '[A-Z][A-Z][A-Z][A-Z][A-Z]'))
GO
ALTER TABLE [dbo].[Customers] CHECK CONSTRAINT [CK_Customers_CustomerID]
GO
ALTER TABLE [dbo].[Employees]  WITH CHECK ADD  CONSTRAINT [CK_Employees_BirthDate] CHECK  (([BirthDate]<getdate()))
GO
ALTER TABLE [dbo].[Employees] CHECK CONSTRAINT [CK_Employees_BirthDate]
GO
ALTER TABLE [dbo].[Products]  WITH CHECK ADD  CONSTRAINT [CK_Products_UnitPrice] CHECK  (([UnitPrice]>=(0)))
GO
ALTER TABLE [dbo].[Products] CHECK CONSTRAINT [CK_Products_UnitPrice]
GO
ALTER TABLE [dbo].[Products]  WITH CHECK ADD CHECK  (([UnitsInStock]>=(0)))
GO
ALTER TABLE [dbo].[Orders]  WITH CHECK ADD  CONSTRAINT [CK_Orders_ShippedDate] CHECK  (([ShippedDate] IS NULL OR [ShippedDate]>=[OrderDate]))
GO
ALTER TABLE [dbo].[Orders] CHECK CONSTRAINT [CK_Orders_ShippedDate]
GO
ALTER TABLE [dbo].[OrderLines]  WITH CHECK ADD  CONSTRAINT [CK_OrderLines_Quantity] CHECK  (([Quantity]>(0)))
GO
ALTER TABLE [dbo].[OrderLines] CHECK CONSTRAINT [CK_OrderLines_Quantity]
GO
ALTER TABLE [dbo].[OrderLines]  WITH NOCHECK ADD  CONSTRAINT [CK_OrderLines_UnitPrice] CHECK  (([UnitPrice]>=(0)))
GO
ALTER TABLE [dbo].[OrderLines] NOCHECK CONSTRAINT [CK_OrderLines_UnitPrice]
GO
ALTER TABLE [dbo].[EmployeeAudit]  WITH CHECK ADD CHECK  (([Action]='U' OR [Action]='D'))
GO
/****** Object:  StoredProcedure [dbo].[usp_CustomerOrders]    Script Date: 3/2/2026 4:12:40 PM ******/
SET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
CREATE PROCEDURE [dbo].[usp_CustomerOrders] @CustomerID nchar(5)
AS
SET NOCOUNT ON
SELECT o.OrderID, o.OrderDate, t.Gross
FROM dbo.Orders AS o
INNER JOIN dbo.vw_OrderTotals AS t ON t.OrderID = o.OrderID
WHERE o.CustomerID = @CustomerID
ORDER BY o.OrderDate DESC
GO
/****** Object:  StoredProcedure [dbo].[usp_OrderValue]    Script Date: 3/2/2026 4:12:40 PM ******/
SET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
CREATE PROCEDURE [dbo].[usp_OrderValue] @OrderID int
AS
SELECT SUM(dbo.fn_LineTotal(UnitPrice, Quantity, Discount)) AS Value
FROM dbo.OrderLines
WHERE OrderID = @OrderID
GO
/****** Object:  StoredProcedure [dbo].[usp_ArchiveShippedOrders]    Script Date: 3/2/2026 4:12:40 PM ******/
SET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
CREATE PROCEDURE [dbo].[usp_ArchiveShippedOrders] @Before datetime
AS
-- the archive table is created by the yearly maintenance job
INSERT INTO dbo.OrdersArchive (OrderID, CustomerID, OrderDate)
SELECT OrderID, CustomerID, OrderDate FROM dbo.Orders WHERE ShippedDate < @Before
GO
/****** Object:  Trigger [dbo].[trg_OrderLines_Stock]    Script Date: 3/2/2026 4:12:40 PM ******/
SET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
CREATE TRIGGER [dbo].[trg_OrderLines_Stock] ON [dbo].[OrderLines]
AFTER INSERT
AS
BEGIN
	SET NOCOUNT ON
	UPDATE p SET UnitsInStock = p.UnitsInStock - i.Quantity
	FROM dbo.Products AS p
	INNER JOIN inserted AS i ON i.ProductID = p.ProductID
END
GO
ALTER TABLE [dbo].[OrderLines] ENABLE TRIGGER [trg_OrderLines_Stock]
GO
/****** Object:  Trigger [dbo].[trg_Employees_Audit]    Script Date: 3/2/2026 4:12:40 PM ******/
SET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
CREATE TRIGGER [dbo].[trg_Employees_Audit] ON [dbo].[Employees]
AFTER UPDATE, DELETE
AS
BEGIN
	SET NOCOUNT ON
	INSERT INTO dbo.EmployeeAudit (EmployeeID, Action)
	SELECT d.EmployeeID, CASE WHEN EXISTS (SELECT * FROM inserted) THEN 'U' ELSE 'D' END
	FROM deleted AS d
END
GO
ALTER TABLE [dbo].[Employees] DISABLE TRIGGER [trg_Employees_Audit]
GO
