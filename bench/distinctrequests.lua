-- wrk script: every request asks for a path of its own, so that no reply kept for an
-- earlier request can answer it.
--
--   wrk -s bench/distinctrequests.lua http://HOST:PORT -- PATH [FIRST]
--
-- PATH is the path to ask for with each "{u}" in it replaced by a number that no other
-- request of the run gets: FIRST (default 1) and up. The threads take turns in steps of
-- MAX_THREADS, so the numbers stay close to FIRST (a query's size may depend on them).
local MAX_THREADS = 16
local threads = 0

function setup(thread)
    thread:set("index", threads)
    threads = threads + 1
end

function init(args)
    template = args[1]
    next_number = tonumber(args[2] or "1") + index
end

function request()
    local path = template:gsub("{u}", tostring(next_number))
    next_number = next_number + MAX_THREADS
    return wrk.format(nil, path)
end
