local t = {1, 2, x = "y"}
for i, v in ipairs(t) do print(i, v) end
