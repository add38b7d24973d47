SELECT 1, -2, 3.25, 1e10, .5, 'it''s', "dq", #2024-02-29#, #13:45:10#, True, False, NULL
SELECT 1 + 2 * 3 - 4 / 2, 7 \ 2, 'a' & 1
