UPDATE Orders SET Amount = Amount * 1.1, Qty = Qty + 1 WHERE CustomerID = 1
UPDATE Customers SET Notes = Notes & ' more' WHERE Notes IS NOT NULL
SELECT * FROM Orders
