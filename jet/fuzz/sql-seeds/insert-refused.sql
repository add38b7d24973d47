INSERT INTO Orders (OrderID, CustomerID) VALUES (1, 999)
INSERT INTO OrderLines VALUES (1, 1, 'x', 'y')
INSERT INTO Customers (City) VALUES ('no name')
INSERT INTO Customers (Name) VALUES ('Alfreds')
