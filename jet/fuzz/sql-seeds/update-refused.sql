UPDATE Orders SET OrderID = 5 WHERE OrderID = 10248
UPDATE OrderLines SET OrderID = 42
UPDATE Customers SET Name = NULL
