-- dbsync demo: the sample (reference) database, a small shop. Run sample-database.sql first.
--
-- target.sql builds the target database from the same shop as it stood some time ago, so that
-- the two differ in every way the tool lists. The comments here say what each object
-- demonstrates; target.sql says how its own copy differs. The tables hold a few rows; the tool
-- copies none of them (a table it creates in the target starts empty).
USE dbsync_demo_sample
GO

------------------------------------------------------------------------------------------------
-- Tables ("列出表详细区别", then "同步表结构操作")
------------------------------------------------------------------------------------------------

-- Only in the sample (code 2): the table sync creates it in the target by copying its
-- structure, which brings names, types and nullability but no identity, key or default; the
-- next round adds those (codes 10, 8, then 6).
CREATE TABLE categories (
    id int IDENTITY(1,1) NOT NULL CONSTRAINT PK_categories PRIMARY KEY,
    name nvarchar(60) NOT NULL,
    sort_order smallint NOT NULL CONSTRAINT DF_categories_sort_order DEFAULT 0
)
GO

CREATE TABLE customers (
    id int IDENTITY(1,1) NOT NULL CONSTRAINT PK_customers PRIMARY KEY,
    name nvarchar(100) NOT NULL,       -- target nvarchar(50): length (code 5)
    email varchar(200) NULL,           -- not in the target: column in the sample only (code 4)
    level tinyint NOT NULL CONSTRAINT DF_customers_level DEFAULT 1,  -- not in the target (code 4):
                                       -- added with its default, which fills the target's rows
    phone varchar(30) NULL,            -- the same on both sides: not listed
    is_active bit NOT NULL CONSTRAINT DF_customers_is_active DEFAULT 1,  -- target DEFAULT 0 (code 8)
    created datetime NOT NULL CONSTRAINT DF_customers_created DEFAULT getdate(),  -- target has none (code 8)
    notes nvarchar(max) NULL           -- target nvarchar(500): length, altered to (MAX) (code 5)
)
GO

-- The target's id is a plain int typed by hand; here it is the identity (code 10).
CREATE TABLE orders (
    id int IDENTITY(1,1) NOT NULL CONSTRAINT PK_orders PRIMARY KEY,
    customer_id int NOT NULL,
    ordered datetime NOT NULL,
    total money NOT NULL CONSTRAINT DF_orders_total DEFAULT 0,
    channel nvarchar(20) NULL CONSTRAINT DF_orders_channel DEFAULT N'门店'  -- not in the target
                                       -- (code 4): nullable, yet the default fills the rows too
)
GO

-- A two-column primary key that the target lacks (code 6 on both columns): the tool adds it
-- as one constraint. The foreign key shows in the listing's 外键 column; the tool never adds
-- foreign keys.
CREATE TABLE order_items (
    order_id int NOT NULL CONSTRAINT FK_order_items_orders REFERENCES orders (id),
    line_no smallint NOT NULL,
    product_id int NOT NULL,
    quantity int NOT NULL,
    CONSTRAINT PK_order_items PRIMARY KEY (order_id, line_no)
)
GO

CREATE TABLE products (
    id int IDENTITY(1,1) NOT NULL CONSTRAINT PK_products PRIMARY KEY,
    code char(10) NOT NULL,            -- target allows NULL: nullability (code 5)
    name nvarchar(80) NOT NULL,        -- same description on both sides: not listed
    price decimal(10,2) NOT NULL,      -- target decimal(10,4): scale (code 9)
    weight decimal(8,3) NULL,          -- target decimal(12,3): precision (code 5)
    stock int NOT NULL CONSTRAINT DF_products_stock DEFAULT 0,  -- target smallint: type (code 5)
    barcode bigint NULL,               -- sample only (code 4), a fixed-size type
    description nvarchar(max) NULL,    -- sample only (code 4), a (MAX) type
    discontinued bit NOT NULL CONSTRAINT DF_products_discontinued DEFAULT 0  -- sample only (code 4)
)
GO
EXEC sp_addextendedproperty @name = N'MS_Description', @value = N'Name printed on the invoice',
    @level0type = N'SCHEMA', @level0name = N'dbo', @level1type = N'TABLE', @level1name = N'products',
    @level2type = N'COLUMN', @level2name = N'name'
GO

-- The target's key is on code; here it is on id (code 6 on both columns): the tool drops the
-- target's key by its own name, and the next round adds this one.
CREATE TABLE suppliers (
    id int NOT NULL CONSTRAINT PK_suppliers PRIMARY KEY,
    code char(10) NOT NULL,
    name nvarchar(80) NOT NULL
)
GO

-- A few rows, so that the sample looks like the shop it stands for.
INSERT INTO categories (name, sort_order) VALUES (N'五金', 1), (N'电子', 2), (N'工具', DEFAULT)
GO
INSERT INTO customers (name, email, phone, is_active, created, notes) VALUES
    (N'张伟', 'zhang.wei@example.com', '010-6552 1234', 1, '2023-01-15 09:30:00', N'老客户，按月结账'),
    (N'李娜贸易有限公司', NULL, NULL, 1, '2023-06-01 14:05:10', NULL)
GO
INSERT INTO orders (customer_id, ordered, total, channel) VALUES
    (1, '2024-03-01 10:00:00', 128.50, N'网店'),
    (2, '2024-04-02 08:45:00', 4999.99, DEFAULT)
GO
INSERT INTO products (code, name, price, weight, stock, barcode, description) VALUES
    ('P-100', N'不锈钢螺丝 M4', 0.35, 0.005, 1200, 6901234567892, N'每盒 100 只'),
    ('P-300', N'工具箱', 129.00, NULL, 0, NULL, NULL)
GO
INSERT INTO order_items VALUES (1, 1, 1, 2), (2, 1, 2, 5)
GO
INSERT INTO suppliers (id, code, name) VALUES (1, 'SUP-001', N'华东五金'), (2, 'SUP-002', N'北方电子')
GO

------------------------------------------------------------------------------------------------
-- Views and procedures ("列出存储过程区别", then "同步存储过程")
------------------------------------------------------------------------------------------------

-- Changed (结构不同): the target's older view shows the fax number instead of the e-mail address.
GO
CREATE VIEW v_customer_contacts
AS
SELECT id, name, email, phone
FROM customers
WHERE is_active = 1
GO

-- Only in the sample (目标无): created in the target.
GO
CREATE VIEW v_product_prices
AS
SELECT p.id, p.code, p.name, p.price, p.stock
FROM products p
GO

-- A view here, a procedure of the same name in the target: the tool drops the target's
-- procedure and creates this view.
GO
CREATE VIEW customer_list
AS
SELECT id, name, email
FROM customers
GO

-- Changed (结构不同): other parameters and columns.
GO
CREATE PROCEDURE usp_add_customer
    @name nvarchar(100),
    @email varchar(200)
AS
SET NOCOUNT ON
INSERT INTO customers (name, email, is_active, created)
VALUES (@name, @email, 1, getdate())
SELECT id = SCOPE_IDENTITY()
GO

-- Only in the sample (目标无): created in the target.
GO
CREATE PROCEDURE usp_customer_summary
    @customer_id int
AS
SET NOCOUNT ON
SELECT c.id, c.name, c.email,
       orders = COUNT(o.id),
       spent = ISNULL(SUM(o.total), 0)
FROM customers c
LEFT JOIN orders o ON o.customer_id = c.id
WHERE c.id = @customer_id
GROUP BY c.id, c.name, c.email
GO

-- Longer than 4,000 characters, so the server keeps its text in two rows; the two versions
-- share the first 4,000 characters, so only the second row is listed (结构不同). The tool
-- runs the sample's whole definition, never a single row of it.
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
  1.2  share of the order's total per line, asked for by the sales team for their charts;
       customer e-mail address, so that the invoices can be sent from the report.
  1.3  the active customer flag, so that closed accounts can be left out of the charts; the
       order month, so that the spreadsheet no longer has to work it out itself.
*/
SET NOCOUNT ON

SELECT
    order_id        = o.id,
    ordered         = o.ordered,
    order_month     = DATEADD(month, DATEDIFF(month, 0, o.ordered), 0),
    customer_id     = c.id,
    customer_name   = c.name,
    customer_email  = ISNULL(c.email, ''),
    active_customer = CASE WHEN c.is_active = 1 THEN 'yes' ELSE 'no' END,
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
    order_total     = o.total,
    share_of_order  = CASE
                          WHEN o.total = 0 THEN NULL
                          ELSE CAST(ROUND(100.0 * p.price * i.quantity / o.total, 1) AS decimal(5,1))
                      END
FROM orders o
INNER JOIN order_items i ON i.order_id = o.id
INNER JOIN customers c ON c.id = o.customer_id
LEFT JOIN products p ON p.id = i.product_id
WHERE o.ordered >= @from AND o.ordered < @to
ORDER BY o.ordered, o.id, i.line_no
GO
