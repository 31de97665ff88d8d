-- An array of 5,000 pseudo-random numbers built in the script and sorted with
-- a script comparison function.
local function run()
  local a = {}
  local seed = 12345
  for i = 0, 4999 do
    seed = (seed * 16807) % 2147483647
    a[i + 1] = seed % 100000
  end
  table.sort(a, function(x, y) return x < y end)
  return a[1]
end
result = run()
