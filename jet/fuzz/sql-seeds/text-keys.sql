INSERT INTO Customers (Name, City) VALUES ('ÄÖÜäöüß', 'Zürich')
INSERT INTO Customers (Name, City) VALUES ('äöüäöüss', 'zurich')
SELECT Name FROM Customers WHERE City >= 'Z' ORDER BY City DESC, Name
