SELECT ID FROM Customers WHERE Notes LIKE '*e*e*e*e*e*e*e*e*e*e*q'
