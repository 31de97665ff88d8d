-- A property get/set loop on global variables with an occasional string
-- concatenation.
o = {}
o.x = 0
s = ""
i = 0
while i < 300000 do
  o.x = o.x + i
  if i % 100 == 0 then s = s .. "a" end
  i = i + 1
end
