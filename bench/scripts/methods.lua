-- Method calls found three prototypes up the chain.
local A = {}
A.__index = A
function A.m(self, x) return x + 1 end
local B = setmetatable({}, A)
B.__index = B
local C = setmetatable({}, B)
C.__index = C
local function run()
  local c = setmetatable({}, C)
  local t = 0
  for _ = 1, 200000 do t = c:m(t) end
  return t
end
result = run()
