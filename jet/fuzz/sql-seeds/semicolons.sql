SELECT * FROM Customers; SELECT * FROM Orders; DELETE FROM OrderLines WHERE Line = 2; SELECT * FROM OrderLines WHERE Note = 'a;b'
