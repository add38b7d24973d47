DELETE FROM OrderLines WHERE Product = 'Tofu'
DELETE FROM Customers WHERE ID = 1
SELECT COUNT(*) FROM Orders
