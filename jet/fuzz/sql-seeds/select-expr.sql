SELECT OrderID, Amount * Qty AS total, Amount / 2, Qty \ 3, Qty & ' x' FROM Orders
SELECT [o].[OrderID], -o.Amount + 1 FROM Orders AS o WHERE o.Qty - 1 <> 0
