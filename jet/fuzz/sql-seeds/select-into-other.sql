SELECT * INTO [Kunden] IN 'other.mdb' FROM Customers
SELECT OrderID, Price INTO Bestellungen IN '/tmp/elsewhere.mdb' FROM Orders WHERE Price IS NOT NULL
