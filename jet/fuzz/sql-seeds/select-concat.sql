SELECT Name & ' (' & City & ')' AS label, Credit + 0.0001 FROM Customers ORDER BY Name
SELECT o.* FROM Orders o ORDER BY o.Price
