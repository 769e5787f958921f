-- Mixed requests for the memory figure: every read route, the API document and its page, the
-- answers for unknown paths and methods, the CORS preflight and a POST whose body is not JSON
-- (refused, so nothing is saved). Each wrk thread stops after the count given after "--" and
-- leaves a mark in the folder given next: wrk itself only ends at the end of its duration, so the
-- bench interrupts it once every thread has left its mark.

local pedidos = {
  wrk.format("GET", "/test"),
  wrk.format("GET", "/api/v1/service"),
  wrk.format("GET", "/api/v1/balanca"),
  wrk.format("GET", "/api/v1/webhook"),
  wrk.format("GET", "/swagger/doc/json"),
  wrk.format("GET", "/swagger/doc/html"),
  wrk.format("GET", "/nao/existe"),
  wrk.format("DELETE", "/api/v1/balanca"),
  wrk.format("OPTIONS", "/api/v1/peso"),
  wrk.format("POST", "/api/v1/balanca", {["Content-Type"] = "application/json"}, "{\"Modelo\":"),
}

local fios = 0
local limite = 0
local pasta = nil
local respondidos = 0
local proximo = 0

function setup(thread)
  fios = fios + 1
  thread:set("numero", fios)
end

function init(args)
  limite = tonumber(args[1]) or 0
  pasta = args[2]
end

function request()
  proximo = proximo % #pedidos + 1
  return pedidos[proximo]
end

function response(status, headers, body)
  respondidos = respondidos + 1
  if limite > 0 and respondidos == limite then
    if pasta then
      io.open(pasta .. "/fio" .. numero, "w"):close()
    end
    wrk.thread:stop()
  end
end
