UPDATE Orders SET Qty = Ordered + 1e300
UPDATE Orders SET OrderID = #9999-12-31# - #100-1-1# + 1e15
