UPDATE Log SET Message = Message & Message & Message
UPDATE Customers SET Notes = NULL WHERE ID = 3
SELECT * FROM Log
