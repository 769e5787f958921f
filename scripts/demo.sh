#!/usr/bin/env bash
# The demo: a simulated Toledo scale on a loopback TCP port and ServiceTarvex on a demo folder
# whose config.ini points at it. Ctrl-C stops both.
set -euo pipefail
bin=build/bin
demo=${1:-build/demo}
mkdir -p "$demo"
demo=$(cd "$demo" && pwd)
porta_api=${TARVEX_PORTA:-50994}
modelo=${TARVEX_MODELO:-2}

comandos="$demo/simulador.cmd"
saida_simulador="$demo/simulador.out"
rm -f "$comandos" "$saida_simulador"
mkfifo "$comandos"
# Held open for reading and writing here, so the simulator never sees the end of its input
# while someone else writes commands into the FIFO.
exec 3<>"$comandos"

simulador=""
servico=""
parar() {
  trap - EXIT INT TERM
  [ -n "$servico" ] && kill -TERM "$servico" 2>/dev/null || true
  [ -n "$simulador" ] && kill -TERM "$simulador" 2>/dev/null || true
  wait 2>/dev/null || true
  exec 3>&-
  rm -f "$comandos"
  echo "Demo parada."
}
trap parar EXIT
trap 'exit 0' INT TERM

"$bin/SimuladorBalanca" --modelo "$modelo" --tcp 0 --peso 1.25 <&3 >"$saida_simulador" 2>&1 &
simulador=$!
for _ in $(seq 100); do
  grep -q '^PORTA ' "$saida_simulador" 2>/dev/null && break
  kill -0 "$simulador" 2>/dev/null || break
  sleep 0.05
done
porta_balanca=$(sed -n 's/^PORTA //p' "$saida_simulador" | head -n 1)
if [ -z "$porta_balanca" ]; then
  echo "O simulador não começou:" >&2
  cat "$saida_simulador" >&2
  exit 1
fi

cat >"$demo/config.ini" <<INI
[Service]
Porta=$porta_api
AtivarLog=S
MonitorarBalancaManual=N
IntervaloLeituraPesoMonitoraManual=500
IntervaloPosEnvioPesoAPI=1500
IntervaloVerificaBalanca=5000
PeriodoArmazenamentoLog=15

[Balanca]
IdBalanca=DEMO
Modelo=$modelo
Porta=$porta_balanca
BaudRate=9600
DataBits=8
AtivarLogTxt=S
TimeOutLePeso=1000
INI

"$bin/ServiceTarvex" --dir "$demo" &
servico=$!
for _ in $(seq 100); do
  curl -s -o /dev/null "http://127.0.0.1:$porta_api/test" 2>/dev/null && break
  kill -0 "$servico" 2>/dev/null || break
  sleep 0.1
done

cat <<TEXTO

Tarvex demo — ServiceTarvex on a simulated Toledo scale ($porta_balanca)
  config: $demo/config.ini
  logs:   $demo/Logs/
  Swagger: http://127.0.0.1:$porta_api/swagger/doc/html

Try, from another shell:
  curl http://127.0.0.1:$porta_api/api/v1/peso
  curl http://127.0.0.1:$porta_api/api/v1/balanca
  echo 'peso 12,5' > $comandos     # put 12.5 kg on the scale
  echo 'instavel'  > $comandos     # the scale swings: the weight answers 500, codigo -1
  echo 'estavel'   > $comandos
  curl http://127.0.0.1:$porta_api/paramupdate   # re-read config.ini

Ctrl-C stops the service and the simulator.
TEXTO

wait "$servico" || echo "ServiceTarvex terminou com erro: veja $demo/Logs/" >&2
