SELECT OrderID FROM Orders WHERE CustomerID IN (1, 3, 6) OR CustomerID IS NULL
SELECT * FROM Customers WHERE Notes IS NOT NULL AND City NOT IN ('Graz')
