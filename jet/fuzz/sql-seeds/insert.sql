INSERT INTO OrderLines VALUES (10251, 1, 'Chai', 'neu')
INSERT INTO OrderLines (OrderID, Line) VALUES (10252, 5)
SELECT * FROM OrderLines ORDER BY OrderID, Line
