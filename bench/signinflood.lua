-- wrk script: wrong sign-ins, each from an address and for an account of its own, so that
-- no back-off refuses them early and every one costs a password hash (the worst case).
--
--   wrk -s bench/signinflood.lua http://HOST:PORT -- TOKEN
--
-- TOKEN is the sign-in form's token; the server must trust the client as a proxy
-- (TrustedProxies) for its X-Forwarded-For to count as the address.
local MAX_THREADS = 16
local threads = 0
local answers = {}

function setup(thread)
    thread:set("index", threads)
    threads = threads + 1
    table.insert(answers, thread)
end

function init(args)
    token = args[1]
    n = index
    statuses = {}
end

function request()
    n = n + MAX_THREADS
    local address = string.format("10.%d.%d.%d", math.floor(n / 65536) % 256,
                                  math.floor(n / 256) % 256, n % 256)
    return wrk.format("POST", "/", {
        ["Content-Type"] = "application/x-www-form-urlencoded",
        ["X-Forwarded-For"] = address,
    }, "page=signin&user=flood" .. n .. "&password=wrong+password&token=" .. token)
end

function response(status)
    statuses[status] = (statuses[status] or 0) + 1
end

function done()
    local totals = {}
    for _, thread in ipairs(answers) do
        local s = thread:get("statuses")
        for status, count in pairs(s) do totals[status] = (totals[status] or 0) + count end
    end
    for status, count in pairs(totals) do io.write(string.format("status %d: %d\n", status, count)) end
end
