local s = [[long
string]] .. "\65\x41\u{41}" -- comment
while true do break end
repeat local n = 0x1p4 until n > 3
