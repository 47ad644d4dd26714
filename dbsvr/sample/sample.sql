-- Sample database of the example application: a small shop with customers,
-- products in categories, and orders. The build turns this script into
-- sample.db in the example application folder.
PRAGMA foreign_keys = ON;
BEGIN;

CREATE TABLE categories (
    id          INTEGER PRIMARY KEY,
    name        TEXT NOT NULL UNIQUE
);

CREATE TABLE products (
    id          INTEGER PRIMARY KEY,
    category_id INTEGER NOT NULL REFERENCES categories(id),
    name        TEXT NOT NULL,
    unit_price  REAL NOT NULL,
    in_stock    INTEGER NOT NULL DEFAULT 0
);

CREATE TABLE customers (
    id          INTEGER PRIMARY KEY,
    name        TEXT NOT NULL,
    city        TEXT NOT NULL,
    country     TEXT NOT NULL,
    email       TEXT
);

CREATE TABLE orders (
    id          INTEGER PRIMARY KEY,
    customer_id INTEGER NOT NULL REFERENCES customers(id),
    ordered_on  TEXT NOT NULL,
    shipped_on  TEXT
);

CREATE TABLE order_items (
    order_id    INTEGER NOT NULL REFERENCES orders(id),
    product_id  INTEGER NOT NULL REFERENCES products(id),
    quantity    INTEGER NOT NULL CHECK (quantity > 0),
    PRIMARY KEY (order_id, product_id)
);

CREATE VIEW order_totals AS
    SELECT o.id AS order_id, c.name AS customer, o.ordered_on,
           round(sum(i.quantity * p.unit_price), 2) AS total
    FROM orders o
    JOIN customers c ON c.id = o.customer_id
    JOIN order_items i ON i.order_id = o.id
    JOIN products p ON p.id = i.product_id
    GROUP BY o.id;

INSERT INTO categories (id, name) VALUES
    (1, 'Beverages'), (2, 'Bakery'), (3, 'Dairy'), (4, 'Produce'), (5, 'Pantry');

INSERT INTO products (id, category_id, name, unit_price, in_stock) VALUES
    (1, 1, 'Green tea', 4.5, 120),
    (2, 1, 'Espresso beans', 12.9, 40),
    (3, 1, 'Apple juice', 2.2, 85),
    (4, 1, 'Sparkling water', 0.9, 300),
    (5, 2, 'Sourdough bread', 3.8, 25),
    (6, 2, 'Croissant', 1.4, 60),
    (7, 2, 'Rye crackers', 2.6, 45),
    (8, 3, 'Whole milk', 1.1, 90),
    (9, 3, 'Aged cheddar', 7.4, 30),
    (10, 3, 'Greek yoghurt', 2.3, 55),
    (11, 3, 'Butter', 2.9, 70),
    (12, 4, 'Apples (1 kg)', 2.5, 150),
    (13, 4, 'Carrots (1 kg)', 1.3, 110),
    (14, 4, 'Tomatoes (500 g)', 2.1, 75),
    (15, 5, 'Olive oil', 8.9, 35),
    (16, 5, 'Basmati rice', 3.2, 65),
    (17, 5, 'Honey', 6.5, 20),
    (18, 5, 'Sea salt', 1.9, 0);

INSERT INTO customers (id, name, city, country, email) VALUES
    (1, 'Ana Ferreira', 'Porto', 'Portugal', 'ana@example.com'),
    (2, 'Björn Lindqvist', 'Uppsala', 'Sweden', 'bjorn@example.com'),
    (3, 'Chloé Martin', 'Lyon', 'France', 'chloe@example.com'),
    (4, 'Dario Rossi', 'Bologna', 'Italy', NULL),
    (5, 'Emma de Vries', 'Utrecht', 'Netherlands', 'emma@example.com'),
    (6, 'Fatima Haddad', 'Marseille', 'France', 'fatima@example.com'),
    (7, 'Georg Huber', 'Graz', 'Austria', 'georg@example.com'),
    (8, 'Hanna Nowak', 'Kraków', 'Poland', NULL),
    (9, 'Iain O''Neill', 'Cork', 'Ireland', 'iain@example.com'),
    (10, 'Jana Svobodová', 'Brno', 'Czechia', 'jana@example.com'),
    (11, 'Kofi Mensah', 'Leeds', 'United Kingdom', 'kofi@example.com'),
    (12, 'Lucía Gómez', 'Valencia', 'Spain', 'lucia@example.com');

INSERT INTO orders (id, customer_id, ordered_on, shipped_on) VALUES
    (1, 1, '2024-01-08', '2024-01-09'),
    (2, 3, '2024-01-11', '2024-01-12'),
    (3, 1, '2024-01-19', '2024-01-22'),
    (4, 5, '2024-02-02', '2024-02-03'),
    (5, 2, '2024-02-06', '2024-02-08'),
    (6, 7, '2024-02-14', '2024-02-15'),
    (7, 3, '2024-02-20', '2024-02-21'),
    (8, 9, '2024-03-01', '2024-03-04'),
    (9, 11, '2024-03-05', '2024-03-06'),
    (10, 1, '2024-03-12', '2024-03-13'),
    (11, 6, '2024-03-18', NULL),
    (12, 12, '2024-03-21', NULL),
    (13, 8, '2024-03-25', NULL),
    (14, 10, '2024-03-27', NULL);

INSERT INTO order_items (order_id, product_id, quantity) VALUES
    (1, 1, 2), (1, 5, 1), (1, 9, 1),
    (2, 2, 1), (2, 6, 6),
    (3, 12, 2), (3, 13, 1), (3, 8, 4),
    (4, 15, 1), (4, 16, 2), (4, 17, 1),
    (5, 3, 6), (5, 4, 12),
    (6, 10, 3), (6, 11, 2), (6, 5, 1),
    (7, 9, 2), (7, 14, 3),
    (8, 2, 2), (8, 7, 2),
    (9, 1, 1), (9, 3, 2), (9, 6, 4),
    (10, 15, 2), (10, 12, 1),
    (11, 8, 6), (11, 10, 2),
    (12, 16, 3), (12, 14, 2), (12, 11, 1),
    (13, 17, 2), (13, 5, 2),
    (14, 4, 24), (14, 13, 2);

-- Full-text indexes for the search of the table pages: an FTS5 table "<table>_fts" over the
-- table's text columns, its rows the table's (content_rowid), kept up to date by triggers.
CREATE VIRTUAL TABLE products_fts USING fts5(name, content='products', content_rowid='id');
CREATE TRIGGER products_fts_insert AFTER INSERT ON products BEGIN
    INSERT INTO products_fts(rowid, name) VALUES (new.id, new.name);
END;
CREATE TRIGGER products_fts_delete AFTER DELETE ON products BEGIN
    INSERT INTO products_fts(products_fts, rowid, name) VALUES ('delete', old.id, old.name);
END;
CREATE TRIGGER products_fts_update AFTER UPDATE ON products BEGIN
    INSERT INTO products_fts(products_fts, rowid, name) VALUES ('delete', old.id, old.name);
    INSERT INTO products_fts(rowid, name) VALUES (new.id, new.name);
END;
INSERT INTO products_fts(products_fts) VALUES ('rebuild');

CREATE VIRTUAL TABLE customers_fts USING fts5(name, city, country, email, content='customers',
                                              content_rowid='id');
CREATE TRIGGER customers_fts_insert AFTER INSERT ON customers BEGIN
    INSERT INTO customers_fts(rowid, name, city, country, email)
        VALUES (new.id, new.name, new.city, new.country, new.email);
END;
CREATE TRIGGER customers_fts_delete AFTER DELETE ON customers BEGIN
    INSERT INTO customers_fts(customers_fts, rowid, name, city, country, email)
        VALUES ('delete', old.id, old.name, old.city, old.country, old.email);
END;
CREATE TRIGGER customers_fts_update AFTER UPDATE ON customers BEGIN
    INSERT INTO customers_fts(customers_fts, rowid, name, city, country, email)
        VALUES ('delete', old.id, old.name, old.city, old.country, old.email);
    INSERT INTO customers_fts(rowid, name, city, country, email)
        VALUES (new.id, new.name, new.city, new.country, new.email);
END;
INSERT INTO customers_fts(customers_fts) VALUES ('rebuild');

COMMIT;
