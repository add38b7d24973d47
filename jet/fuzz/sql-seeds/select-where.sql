SELECT * FROM Customers WHERE City = 'Berlin' OR Credit > 100
SELECT Name, City FROM Customers WHERE Name LIKE 'K*' AND NOT Active = False
