SELECT nope FROM Orders
SELECT * FROM Missing
UPDATE Orders SET nope = 1
INSERT INTO Orders (nope) VALUES (1)
