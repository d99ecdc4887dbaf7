-- dbsync demo: the target database, the sample's shop as it stood some time ago. Run
-- target-database.sql first. The comments say how each object differs from sample.sql; the
-- tool's code for the difference is in brackets. Every table holds a few rows, which the
-- synchronisation keeps (see the rows at the end of the tables' section).
USE dbsync_demo_target
GO

------------------------------------------------------------------------------------------------
-- Tables
------------------------------------------------------------------------------------------------

-- The table categories is missing here (2).

-- Key, identity and phone as in the sample.
CREATE TABLE customers (
    id int IDENTITY(1,1) NOT NULL CONSTRAINT PK_customers PRIMARY KEY,
    name nvarchar(50) NOT NULL,        -- shorter (5)
    -- no email column (4), no level column (4, NOT NULL with a default)
    phone varchar(30) NULL,
    fax varchar(30) NULL,              -- only here, with a description (3)
    is_active bit NOT NULL CONSTRAINT DF_customers_active DEFAULT 0,  -- another default (8)
    created datetime NOT NULL,         -- no default (8)
    notes nvarchar(500) NULL           -- not (MAX) (5)
)
GO
EXEC sp_addextendedproperty @name = N'MS_Description', @value = N'Fax number, no longer used',
    @level0type = N'SCHEMA', @level0name = N'dbo', @level1type = N'TABLE', @level1name = N'customers',
    @level2type = N'COLUMN', @level2name = N'fax'
GO

-- id is typed by hand here, not an identity (10), and described; its key has another name.
CREATE TABLE orders (
    id int NOT NULL CONSTRAINT PK_orders_id PRIMARY KEY,
    customer_id int NOT NULL,
    ordered datetime NOT NULL,
    total money NOT NULL CONSTRAINT DF_orders_total DEFAULT 0
    -- no channel column (4, nullable with a default)
)
GO
EXEC sp_addextendedproperty @name = N'MS_Description', @value = N'Order number, typed by the clerk',
    @level0type = N'SCHEMA', @level0name = N'dbo', @level1type = N'TABLE', @level1name = N'orders',
    @level2type = N'COLUMN', @level2name = N'id'
GO

-- No primary key and no foreign key (6 on order_id and line_no).
CREATE TABLE order_items (
    order_id int NOT NULL,
    line_no smallint NOT NULL,
    product_id int NOT NULL,
    quantity int NOT NULL
)
GO

-- The key is on code here, not on id (6); products refers to it below.
CREATE TABLE suppliers (
    id int NOT NULL,
    code char(10) NOT NULL CONSTRAINT PK_suppliers_code PRIMARY KEY,
    name nvarchar(80) NOT NULL
)
GO

CREATE TABLE products (
    id int IDENTITY(1,1) NOT NULL CONSTRAINT PK_products PRIMARY KEY,
    code char(10) NULL,                -- allows NULL (5)
    name nvarchar(80) NOT NULL,
    price decimal(10,4) NOT NULL,      -- another scale (9)
    weight decimal(12,3) NULL,         -- another precision (5)
    stock smallint NOT NULL CONSTRAINT DF_products_stock DEFAULT 0,  -- another type (5)
    -- no barcode and no description column (4), no discontinued column (4, NOT NULL with a
    -- default)
    supplier_code char(10) NULL        -- only here, with a foreign key (3): the tool drops the key first
        CONSTRAINT FK_products_suppliers REFERENCES suppliers (code)
)
GO
EXEC sp_addextendedproperty @name = N'MS_Description', @value = N'Name printed on the invoice',
    @level0type = N'SCHEMA', @level0name = N'dbo', @level1type = N'TABLE', @level1name = N'products',
    @level2type = N'COLUMN', @level2name = N'name'
GO

-- Only here (1): the tool drops it.
CREATE TABLE temp_import (
    batch int NOT NULL,
    line nvarchar(400) NULL
)
GO
EXEC sp_addextendedproperty @name = N'MS_Description', @value = N'Number of the import run',
    @level0type = N'SCHEMA', @level0name = N'dbo', @level1type = N'TABLE', @level1name = N'temp_import',
    @level2type = N'COLUMN', @level2name = N'batch'
GO

-- The rows: Chinese text, decimals, NULLs, identity values. Every value fits the sample's
-- types, so the synchronisation converts them all: no NULL in products.code (made NOT NULL),
-- prices with at most two decimals (scale 2), weights below 100,000 (decimal(8,3)), unique
-- key values for order_items and suppliers.
INSERT INTO customers (name, phone, fax, is_active, created, notes) VALUES
    (N'张伟', '010-6552 1234', '010-6552 1235', 1, '2023-01-15 09:30:00', N'老客户，按月结账'),
    (N'李娜贸易有限公司', NULL, NULL, 1, '2023-06-01 14:05:10', NULL),
    (N'Wang Fang', '021-5012 8888', NULL, 0, '2024-02-29 18:00:00', N'已停止合作')
GO

-- The order numbers were typed by hand. Code 10 rebuilds the table with the identity and
-- keeps them; the next order is numbered after the largest.
INSERT INTO orders (id, customer_id, ordered, total) VALUES
    (1, 1, '2024-03-01 10:00:00', 128.50),
    (2, 1, '2024-03-15 16:20:00', 0),
    (3, 2, '2024-04-02 08:45:00', 4999.99)
GO

INSERT INTO order_items VALUES (1, 1, 1, 2), (1, 2, 2, 1), (2, 1, 3, 10), (3, 1, 1, 5)
GO

INSERT INTO suppliers (id, code, name) VALUES
    (1, 'SUP-001', N'华东五金'),
    (2, 'SUP-002', N'北方电子'),
    (3, 'SUP-003', N'Acme Parts')
GO

INSERT INTO products (code, name, price, weight, stock, supplier_code) VALUES
    ('P-100', N'不锈钢螺丝 M4', 0.35, 0.005, 1200, 'SUP-001'),
    ('P-200', N'电源适配器 12V', 45.90, 0.250, 35, 'SUP-002'),
    ('P-300', N'工具箱', 129.00, NULL, 0, NULL)
GO

INSERT INTO temp_import (batch, line) VALUES (7, N'张伟;010-6552 1234'), (7, NULL)
GO

------------------------------------------------------------------------------------------------
-- Views and procedures
------------------------------------------------------------------------------------------------

-- The older view: fax instead of e-mail (结构不同).
GO
CREATE VIEW v_customer_contacts
AS
SELECT id, name, fax, phone
FROM customers
WHERE is_active = 1
GO

-- The view v_product_prices is missing here (目标无).

-- Only here (源无): the tool drops it.
GO
CREATE VIEW v_import_status
AS
SELECT batch, lines = COUNT(*)
FROM temp_import
GROUP BY batch
GO

-- A procedure here, a view of the same name in the sample.
GO
CREATE PROCEDURE customer_list
AS
SET NOCOUNT ON
SELECT id, name, phone
FROM customers
ORDER BY name
GO

-- The older procedure: a phone number instead of an e-mail address (结构不同).
GO
CREATE PROCEDURE usp_add_customer
    @name nvarchar(50),
    @phone varchar(30)
AS
SET NOCOUNT ON
INSERT INTO customers (name, phone, is_active, created)
VALUES (@name, @phone, 1, getdate())
SELECT id = SCOPE_IDENTITY()
GO

-- The procedure usp_customer_summary is missing here (目标无).

-- Only here (源无): the tool drops it.
GO
CREATE PROCEDURE usp_purge_imports
    @batch int
AS
SET NOCOUNT ON
DELETE FROM temp_import WHERE batch = @batch
GO

-- The older report: the same first 4,000 characters, another query after them (结构不同 on the
-- second text row).
GO
CREATE PROCEDURE usp_order_report
    @from datetime,
    @to datetime
AS
/*
  Order report for the sales team: one row per order line whose order was placed on or after
  @from and before @to. The report is read by the monthly sales spreadsheet, which looks the
  columns up by name, so keep the names stable when you change the query.

  Columns
  -------
  order_id        the order's number (orders.id)
  ordered         when the order was placed (orders.ordered)
  order_month     the first day of the order's month, for grouping in the spreadsheet
  customer_id     the customer's number (customers.id)
  customer_name   the customer's name as it is printed on the invoice
  customer_email  where the invoice goes; empty when the customer gave none
  active_customer 'yes' for customers that still buy, 'no' for closed accounts
  line_no         the line's position on the order (order_items.line_no)
  product_id      the product's number (products.id)
  product_code    the product's code as printed in the catalogue (products.code)
  product_name    the product's name as it is printed on the invoice
  unit_price      the product's current list price (products.price)
  quantity        how many units the line orders (order_items.quantity)
  line_total      unit_price times quantity, before any discount
  weight_class    'light' below 1 kg, 'medium' below 10 kg, 'heavy' from 10 kg, 'unknown'
                  when the product has no weight
  stock_state     'in stock' when the stock covers the line, 'short' when it covers part of
                  it, 'none' when nothing is in stock
  order_total     the order's total as stored on the order (orders.total)
  share_of_order  the line's share of the order's total, in percent, one decimal place;
                  null when the order's total is zero

  Notes
  -----
  - Orders without lines do not appear: the report is about what was sold.
  - Products that were deleted after the order was placed appear with an empty code and name
    (the join to products is an outer join), so the totals still add up.
  - The price is today's list price, not the price on the day of the order: the shop keeps no
    price history. The sales team knows this and compares months with that in mind.
  - The weight classes follow the carrier's price list of this year. When the carrier changes
    its limits, change the CASE below and tell the sales team, since their charts use them.
  - The stock state is read at the time the report runs, not at the time of the order. It is
    there so that the warehouse can see which open orders it cannot fill today.
  - Dates are compared as datetime values: pass @to as the first moment after the period, for
    example '2024-04-01' for the whole of March, so that orders placed late on the last day of
    the period are included and none of the next day are.
  - The procedure only reads. It takes no locks beyond what a plain SELECT takes and can run
    while the shop is open; on a large database run it outside the busiest hours all the same.

  Example
  -------
      EXEC usp_order_report @from = '2024-03-01', @to = '2024-04-01'

  - Amounts are in the shop's one currency. The money and decimal columns keep their own
    precision in the report; the spreadsheet rounds them for display only, so sums made in the
    spreadsheet agree with sums made here.
  - Lines are listed in the order in which the orders were placed, and within an order by line
    number, so that two runs over the same period give the same rows in the same order and the
    spreadsheet can compare them line by line.
  - Customers are matched by number, never by name: two customers may share a name, and a
    customer may change the name on the account without becoming another customer.

  - A line whose product has no price yet (a product still being set up) shows a null unit
    price and line total; the spreadsheet counts such lines separately.

  History
  -------
  1.0  first version for the sales team: order, customer, product and line columns.
  1.1  weight classes for the carrier's new price list; stock state for the warehouse.
*/
SET NOCOUNT ON

SELECT
    order_id        = o.id,
    ordered         = o.ordered,
    customer_id     = c.id,
    customer_name   = c.name,
    line_no         = i.line_no,
    product_id      = i.product_id,
    product_code    = ISNULL(p.code, ''),
    product_name    = ISNULL(p.name, N''),
    unit_price      = p.price,
    quantity        = i.quantity,
    line_total      = p.price * i.quantity,
    weight_class    = CASE
                          WHEN p.weight IS NULL THEN 'unknown'
                          WHEN p.weight < 1 THEN 'light'
                          WHEN p.weight < 10 THEN 'medium'
                          ELSE 'heavy'
                      END,
    stock_state     = CASE
                          WHEN p.stock >= i.quantity THEN 'in stock'
                          WHEN p.stock > 0 THEN 'short'
                          ELSE 'none'
                      END,
    order_total     = o.total
FROM orders o
INNER JOIN order_items i ON i.order_id = o.id
INNER JOIN customers c ON c.id = o.customer_id
LEFT JOIN products p ON p.id = i.product_id
WHERE o.ordered BETWEEN @from AND @to
ORDER BY o.id, i.line_no
GO
