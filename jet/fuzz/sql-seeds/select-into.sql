SELECT * INTO Archive FROM Orders WHERE Amount > 20
SELECT COUNT(*) FROM Archive
SELECT Name, Credit INTO Copy FROM Customers ORDER BY Name
