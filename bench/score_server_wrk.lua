-- wrk requests for kestrow-scores: "get" fetches the list; "set" submits results with valid
-- tokens (K1 K2 K3 passed after the mode: wrk ... -- set K1 K2 K3).
local mode, k1, k2, k3 = "get", 0, 0, 0
local counter = 0

function init(args)
  mode = args[1] or "get"
  k1, k2, k3 = tonumber(args[2] or "0"), tonumber(args[3] or "0"), tonumber(args[4] or "0")
  wrk.method = "POST"
  wrk.path = "/public/index.php?a=KestrowRes"
  wrk.headers["Content-Type"] = "application/x-www-form-urlencoded"
  wrk.headers["User-Agent"] = "Kestrow 1.3"
  wrk.body = "action=get"
end

local function hex(byte)
  return string.format("%02X", byte % 256)
end

local function token(minutes, seconds, hundredths)
  local mask = math.random(1, 255)
  local check = minutes % 64 + seconds % 64 + hundredths % 64
  local time = {(minutes + k1) % 256, seconds + k2, check, hundredths + k3}
  local address = {0x02, 0x00, 0x5E, 0x10, 0x20, math.random(0, 255)}
  local text = hex(bit.bxor(address[1], mask)) .. hex(bit.bxor(address[2], mask))
  for i = 1, 4 do text = text .. hex(bit.bxor(time[i], mask)) end
  text = text .. hex(bit.bxor(address[3], mask)) .. hex(bit.bxor(address[4], mask)) .. hex(mask)
  return text .. hex(bit.bxor(address[5], mask)) .. hex(bit.bxor(address[6], mask))
end

function request()
  if mode ~= "set" then
    return wrk.format()
  end
  counter = counter + 1
  local body = "action=set&nom=Bench" .. counter .. "&tmp=" ..
      token(math.random(0, 30), math.random(0, 59), math.random(0, 99))
  return wrk.format(nil, nil, nil, body)
end

-- The latency percentiles the benchmark reports, in milliseconds.
function done(summary, latency, requests)
  io.write(string.format("requests/s %.0f  p50 %.2f ms  p99 %.2f ms  p99.9 %.2f ms  errors %d\n",
    summary.requests / (summary.duration / 1e6), latency:percentile(50) / 1000,
    latency:percentile(99) / 1000, latency:percentile(99.9) / 1000,
    summary.errors.connect + summary.errors.read + summary.errors.write +
    summary.errors.status + summary.errors.timeout))
end
