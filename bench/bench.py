#!/usr/bin/env python3
"""Benchmarks of ServiceTarvex against SimuladorBalanca on loopback.

Runs every figure of the table in bench/results.md and writes that table and the raw numbers
(bench/results.json). Only the standard library: load comes from wrk, the reference server is
nginx on its own temporary prefix, CPU and memory come from /proc.

The machine is shared: each comparison measures both sides in the same run and reports their
ratio, and each figure is the median of several runs with its spread (min..max).
"""

import argparse
import datetime
import http.client
import json
import os
import platform
import queue
import re
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from pathlib import Path

RAIZ = Path(__file__).resolve().parent.parent
PASTA_BENCH = RAIZ / "bench"
PASTA_SAIDA = PASTA_BENCH / "out"

# The fixed wait of the Toledo protocol between the request and the read.
ESPERA_PROTOCOLO_MS = 200.0
CORPO_TESTE = "Texto fixo retornado pelo servidor."
CABECALHOS_CORS = [
    ("Access-Control-Allow-Origin", "*"),
    ("Access-Control-Allow-Credentials", "true"),
    ("Access-Control-Allow-Headers", "*"),
    ("Access-Control-Allow-Methods", "*"),
    ("Access-Control-Expose-Headers", "*"),
]


class FalhaBench(Exception):
    pass


# ---------------------------------------------------------------------------------------------
# Numbers


def percentil(valores, p):
    """Nearest-rank percentile: the smallest value with at least p % of the values at or below."""
    ordenados = sorted(valores)
    if not ordenados:
        return float("nan")
    posicao = max(1, -(-len(ordenados) * p // 100))
    return ordenados[int(posicao) - 1]


def resumo(valores):
    """Median of the runs and their spread."""
    return {
        "mediana": statistics.median(valores),
        "min": min(valores),
        "max": max(valores),
        "execucoes": list(valores),
    }


# ---------------------------------------------------------------------------------------------
# Processes on loopback


def porta_livre():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def parar_processo(processo, prazo=10.0):
    if processo.poll() is not None:
        return
    processo.send_signal(signal.SIGTERM)
    try:
        processo.wait(prazo)
    except subprocess.TimeoutExpired:
        processo.kill()
        processo.wait()


class Simulador:
    """SimuladorBalanca on a loopback TCP port, driven through its standard input."""

    def __init__(self, programas, modelo, peso="1,25"):
        self.processo = subprocess.Popen(
            [str(programas / "SimuladorBalanca"), "--modelo", str(modelo), "--tcp", "0",
             "--peso", peso.replace(",", ".")],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
            bufsize=1)
        self.linhas = queue.Queue()
        threading.Thread(target=self._ler, daemon=True).start()
        primeira = self._linha(5.0)
        if not primeira or not primeira.startswith("PORTA "):
            parar_processo(self.processo)
            raise FalhaBench(f"o simulador do modelo {modelo} não começou: {primeira!r}")
        self.porta = primeira.split(" ", 1)[1]

    def _ler(self):
        for linha in self.processo.stdout:
            self.linhas.put(linha.rstrip("\n"))
        self.linhas.put(None)

    def _linha(self, prazo):
        try:
            return self.linhas.get(timeout=prazo)
        except queue.Empty:
            return None

    def comando(self, texto):
        self.processo.stdin.write(texto + "\n")
        self.processo.stdin.flush()
        resposta = self._linha(5.0)
        if not resposta or not resposta.startswith("OK"):
            raise FalhaBench(f"o simulador recusou {texto!r}: {resposta!r}")
        return resposta

    def requisicoes(self):
        return int(self.comando("contagem").split()[3])

    def parar(self):
        if self.processo.poll() is None:
            try:
                self.processo.stdin.write("sair\n")
                self.processo.stdin.flush()
            except OSError:
                pass
        parar_processo(self.processo, 5.0)


def ini(secoes):
    texto = ""
    for secao, chaves in secoes.items():
        texto += f"[{secao}]\n" + "".join(f"{k}={v}\n" for k, v in chaves.items()) + "\n"
    return texto


def config_servico(porta_api, **extra):
    chaves = {
        "Porta": porta_api,
        "AtivarLog": "S",
        "MonitorarBalancaManual": "N",
        "IntervaloLeituraPesoMonitoraManual": 500,
        "IntervaloPosEnvioPesoAPI": 1500,
        "IntervaloVerificaBalanca": 5000,
        "PeriodoArmazenamentoLog": 15,
    }
    chaves.update(extra)
    return chaves


def config_balanca(modelo, porta):
    return {
        "IdBalanca": "BENCH",
        "Modelo": modelo,
        "Porta": porta,
        "BaudRate": 9600,
        "DataBits": 8,
        "AtivarLogTxt": "S",
        "TimeOutLePeso": 1000,
    }


class Servico:
    """ServiceTarvex on a folder of its own whose config.ini the caller writes."""

    def __init__(self, programas, pasta, secoes):
        self.programas = programas
        self.pasta = Path(pasta)
        self.pasta.mkdir(parents=True, exist_ok=True)
        (self.pasta / "config.ini").write_text(ini(secoes))
        self.porta = int(secoes["Service"]["Porta"])
        self.processo = None

    def iniciar(self):
        self.inicio = time.perf_counter()
        self.processo = subprocess.Popen(
            [str(self.programas / "ServiceTarvex"), "--dir", str(self.pasta)],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.pronto = esperar_teste(self.porta, self.processo)
        return self.pronto - self.inicio

    @property
    def pid(self):
        return self.processo.pid

    def esperar_balanca(self, prazo=15.0):
        limite = time.monotonic() + prazo
        while time.monotonic() < limite:
            status, corpo = pedir(self.porta, "GET", "/api/v1/balanca")
            if status == 200 and json.loads(corpo).get("Status") == "Conectado":
                return
            time.sleep(0.1)
        raise FalhaBench("a balança não ficou Conectado")

    def parar(self, prazo=15.0):
        if self.processo:
            parar_processo(self.processo, prazo)


def esperar_teste(porta, processo, prazo=10.0):
    """Polls GET /test until it is answered; returns the moment of the first answer."""
    limite = time.perf_counter() + prazo
    pedido = b"GET /test HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n"
    while time.perf_counter() < limite:
        if processo.poll() is not None:
            raise FalhaBench(f"o serviço terminou ao iniciar (código {processo.returncode})")
        try:
            with socket.create_connection(("127.0.0.1", porta), timeout=2) as s:
                s.sendall(pedido)
                if s.recv(64).startswith(b"HTTP/1.1 200"):
                    return time.perf_counter()
        except OSError:
            pass
        time.sleep(0.0005)
    raise FalhaBench("o serviço não respondeu GET /test")


def pedir(porta, metodo, caminho, corpo=None, prazo=30.0):
    conexao = http.client.HTTPConnection("127.0.0.1", porta, timeout=prazo)
    try:
        conexao.request(metodo, caminho, body=corpo)
        resposta = conexao.getresponse()
        return resposta.status, resposta.read().decode("utf-8", "replace")
    finally:
        conexao.close()


class ReceptorWebhook:
    """The webhook endpoint: answers 200 to everything and counts what it got."""

    def __init__(self):
        receptor = self
        self.pedidos = []

        class Tratador(BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def do_POST(self):
                tamanho = int(self.headers.get("Content-Length") or 0)
                corpo = self.rfile.read(tamanho)
                receptor.pedidos.append((self.path, corpo))
                self.send_response(200)
                self.send_header("Content-Type", "application/json")
                self.send_header("Content-Length", "2")
                self.end_headers()
                self.wfile.write(b"{}")

            do_GET = do_POST

            def log_message(self, *args):
                pass

        self.servidor = ThreadingHTTPServer(("127.0.0.1", 0), Tratador)
        self.servidor.daemon_threads = True
        self.porta = self.servidor.server_address[1]
        threading.Thread(target=self.servidor.serve_forever, daemon=True).start()

    def parar(self):
        self.servidor.shutdown()
        self.servidor.server_close()


class Nginx:
    """nginx on its own prefix and port, serving static files with the bodies of the routes."""

    def __init__(self, pasta, arquivos):
        self.pasta = Path(pasta)
        html = self.pasta / "html"
        html.mkdir(parents=True, exist_ok=True)
        (self.pasta / "logs").mkdir(exist_ok=True)
        self.porta = porta_livre()
        locais = ""
        for caminho, (corpo, tipo) in arquivos.items():
            destino = html / caminho.lstrip("/")
            destino.parent.mkdir(parents=True, exist_ok=True)
            destino.write_bytes(corpo)
            locais += f"    location = {caminho} {{ default_type {tipo}; }}\n"
        cors = "".join(f"    add_header {n} \"{v}\";\n" for n, v in CABECALHOS_CORS)
        # Run as root, nginx hands its workers to nobody, who may not read this folder; they
        # stay with the bench's own user instead.
        usuario = "user root;\n" if os.geteuid() == 0 else ""
        (self.pasta / "nginx.conf").write_text(
            usuario +
            "worker_processes auto;\n"
            "daemon off;\n"
            f"pid {self.pasta}/nginx.pid;\n"
            f"error_log {self.pasta}/logs/error.log warn;\n"
            "events { worker_connections 1024; }\n"
            "http {\n"
            "  access_log off;\n"
            f"  client_body_temp_path {self.pasta}/tmp_body;\n"
            f"  proxy_temp_path {self.pasta}/tmp_proxy;\n"
            f"  fastcgi_temp_path {self.pasta}/tmp_fastcgi;\n"
            f"  uwsgi_temp_path {self.pasta}/tmp_uwsgi;\n"
            f"  scgi_temp_path {self.pasta}/tmp_scgi;\n"
            "  server {\n"
            f"    listen 127.0.0.1:{self.porta};\n"
            f"    root {html};\n"
            f"{cors}{locais}"
            "  }\n"
            "}\n")
        self.processo = subprocess.Popen(
            [binario_nginx(), "-p", str(self.pasta), "-e", f"{self.pasta}/logs/error.log",
             "-c", str(self.pasta / "nginx.conf")],
            stdout=subprocess.DEVNULL, stderr=subprocess.STDOUT)
        esperar_teste(self.porta, self.processo)

    def parar(self):
        parar_processo(self.processo)


def binario_nginx():
    return shutil.which("nginx") or "/usr/sbin/nginx"


# ---------------------------------------------------------------------------------------------
# /proc


def tempo_cpu_ns(pid):
    """CPU time of every thread of the process, in nanoseconds (schedstat's first field)."""
    total = 0
    for tarefa in Path(f"/proc/{pid}/task").iterdir():
        try:
            total += int((tarefa / "schedstat").read_text().split()[0])
        except (OSError, ValueError, IndexError):
            pass
    return total


def tempo_cpu_ticks_ns(pid):
    """utime + stime of the whole process, dead threads included; clock-tick resolution."""
    campos = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    ticks = int(campos[11]) + int(campos[12])
    return ticks * 1_000_000_000 // os.sysconf("SC_CLK_TCK")


def fios(pid):
    return sorted(p.name for p in Path(f"/proc/{pid}/task").iterdir())


def rss_kib(pid):
    for linha in Path(f"/proc/{pid}/status").read_text().splitlines():
        if linha.startswith("VmRSS:"):
            return int(linha.split()[1])
    raise FalhaBench("VmRSS ausente")


# ---------------------------------------------------------------------------------------------
# wrk


def wrk(url, conexoes=64, fios_wrk=2, duracao="10s", script=None, extra=(), marcas=None):
    """Runs wrk and reads its report. With `marcas` (a folder), the script leaves one mark per
    thread there when it is done, and wrk is interrupted then instead of at its duration."""
    comando = ["wrk", f"-t{fios_wrk}", f"-c{conexoes}", f"-d{duracao}", "--latency"]
    if script:
        comando += ["-s", str(script)]
    comando += [url, *extra]
    processo = subprocess.Popen(comando, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                text=True)
    if marcas:
        while processo.poll() is None and len(list(Path(marcas).iterdir())) < fios_wrk:
            time.sleep(0.05)
        if processo.poll() is None:
            processo.send_signal(signal.SIGINT)
    try:
        texto, erros_wrk = processo.communicate(timeout=600)
    except subprocess.TimeoutExpired:
        processo.kill()
        raise FalhaBench("wrk não terminou")
    if processo.returncode != 0:
        raise FalhaBench(f"wrk falhou: {erros_wrk.strip()}")
    achado = re.search(r"Requests/sec:\s+([\d.]+)", texto)
    total = re.search(r"(\d+) requests in", texto)
    erros = re.search(r"Socket errors: connect (\d+), read (\d+), write (\d+), timeout (\d+)",
                      texto)
    nao2xx = re.search(r"Non-2xx or 3xx responses: (\d+)", texto)
    return {
        "pedidos_por_segundo": float(achado.group(1)) if achado else 0.0,
        "pedidos": int(total.group(1)) if total else 0,
        "erros_socket": [int(x) for x in erros.groups()] if erros else [0, 0, 0, 0],
        "respostas_nao_2xx": int(nao2xx.group(1)) if nao2xx else 0,
        "saida": texto,
    }


# ---------------------------------------------------------------------------------------------
# The figures


class Bancada:
    def __init__(self, programas, modelo, rodadas, rapido):
        self.programas = programas
        self.modelo = modelo
        self.rodadas = rodadas
        self.rapido = rapido
        self.abertos = []

    def pasta(self, nome):
        return Path(tempfile.mkdtemp(prefix=nome + "-", dir=PASTA_SAIDA))

    def _abrir(self, objeto):
        self.abertos.append(objeto)
        return objeto

    def fechar_tudo(self):
        while self.abertos:
            objeto = self.abertos.pop()
            try:
                objeto.parar()
            except Exception as erro:  # noqa: BLE001 - the bench goes on closing the rest
                print(f"  aviso: ao parar {type(objeto).__name__}: {erro}", file=sys.stderr)

    def servico_com_balanca(self, nome, peso="1,25", servico_extra=None, webhook=None):
        simulador = self._abrir(Simulador(self.programas, self.modelo, peso))
        secoes = {
            "Service": config_servico(porta_livre(), **(servico_extra or {})),
            "Balanca": config_balanca(self.modelo, simulador.porta),
        }
        if webhook:
            secoes["Webhook"] = webhook
        servico = self._abrir(Servico(self.programas, self.pasta(nome), secoes))
        servico.iniciar()
        servico.esperar_balanca()
        return servico, simulador

    # Weight read overhead -----------------------------------------------------------------

    def sobrecarga_peso(self):
        quantidade = 40 if self.rapido else 200
        servico, _ = self.servico_com_balanca("peso")
        conexao = http.client.HTTPConnection("127.0.0.1", servico.porta, timeout=30)
        ler_peso(conexao)
        rodadas = []
        for rodada in range(self.rodadas):
            sobras, referencia = [], []
            for i in range(quantidade):
                sobras.append(sobra_do_peso(conexao))
                # Every other read, the machine's own share: the client sleeps the same 200 ms
                # and asks GET /test, which touches no scale.
                if i % 2:
                    referencia.append(sobra_da_referencia(conexao))
            rodadas.append({"mediana_ms": statistics.median(sobras),
                            "p99_ms": percentil(sobras, 99), "max_ms": max(sobras),
                            "min_ms": min(sobras),
                            "referencia_mediana_ms": statistics.median(referencia),
                            "referencia_p99_ms": percentil(referencia, 99),
                            "amostras_ms": [round(x, 3) for x in sobras],
                            "referencia_amostras_ms": [round(x, 3) for x in referencia]})
            print(f"  rodada {rodada + 1}: mediana {rodadas[-1]['mediana_ms']:.3f} ms, "
                  f"p99 {rodadas[-1]['p99_ms']:.3f} ms; referência: mediana "
                  f"{rodadas[-1]['referencia_mediana_ms']:.3f} ms, p99 "
                  f"{rodadas[-1]['referencia_p99_ms']:.3f} ms")
        conexao.close()
        self.fechar_tudo()
        return {
            "pedidos_por_rodada": quantidade,
            "mediana_ms": resumo([r["mediana_ms"] for r in rodadas]),
            "p99_ms": resumo([r["p99_ms"] for r in rodadas]),
            "referencia_mediana_ms": resumo([r["referencia_mediana_ms"] for r in rodadas]),
            "referencia_p99_ms": resumo([r["referencia_p99_ms"] for r in rodadas]),
            "rodadas": rodadas,
        }

    # Throughput against nginx ---------------------------------------------------------------

    def vazao(self):
        servico, _ = self.servico_com_balanca("vazao")
        rotas = ["/test", "/api/v1/service"]
        corpos = {}
        for rota in rotas:
            conexao = http.client.HTTPConnection("127.0.0.1", servico.porta, timeout=10)
            conexao.request("GET", rota)
            resposta = conexao.getresponse()
            corpos[rota] = (resposta.read(), resposta.getheader("Content-Type"))
            conexao.close()
        if corpos["/test"][0].decode() != CORPO_TESTE:
            raise FalhaBench("GET /test mudou de corpo")
        nginx = self._abrir(Nginx(self.pasta("nginx"), corpos))
        for rota in rotas:
            status, corpo = pedir(nginx.porta, "GET", rota)
            if status != 200 or corpo.encode() != corpos[rota][0]:
                raise FalhaBench(f"o nginx não serve {rota} como o serviço")
        duracao = "3s" if self.rapido else "10s"
        resultado = {}
        for rota in rotas:
            execucoes = []
            for rodada in range(self.rodadas):
                # Alternating who goes first spreads the drift of a noisy machine over both.
                ordem = [("servico", servico.porta), ("nginx", nginx.porta)]
                if rodada % 2:
                    ordem.reverse()
                medidas = {}
                for lado, porta in ordem:
                    medidas[lado] = wrk(f"http://127.0.0.1:{porta}{rota}", duracao=duracao)
                for lado, medida in medidas.items():
                    if medida["respostas_nao_2xx"] or any(medida["erros_socket"]):
                        print(f"  aviso: {lado} {rota}: {medida['respostas_nao_2xx']} não-2xx, "
                              f"erros {medida['erros_socket']}")
                razao = (medidas["servico"]["pedidos_por_segundo"] /
                         medidas["nginx"]["pedidos_por_segundo"])
                execucoes.append({
                    "servico_rps": medidas["servico"]["pedidos_por_segundo"],
                    "nginx_rps": medidas["nginx"]["pedidos_por_segundo"],
                    "razao": razao,
                    "servico_erros": [medidas["servico"]["respostas_nao_2xx"],
                                      *medidas["servico"]["erros_socket"]],
                    "nginx_erros": [medidas["nginx"]["respostas_nao_2xx"],
                                    *medidas["nginx"]["erros_socket"]],
                })
                print(f"  {rota} rodada {rodada + 1}: serviço "
                      f"{execucoes[-1]['servico_rps']:.0f}/s, nginx "
                      f"{execucoes[-1]['nginx_rps']:.0f}/s, razão {razao:.2f}")
            resultado[rota] = {
                "razao": resumo([e["razao"] for e in execucoes]),
                "servico_rps": resumo([e["servico_rps"] for e in execucoes]),
                "nginx_rps": resumo([e["nginx_rps"] for e in execucoes]),
                "rodadas": execucoes,
            }
        resultado["wrk"] = {"fios": 2, "conexoes": 64, "duracao": duracao}
        self.fechar_tudo()
        return resultado

    # Responsiveness while weight requests wait on a silent scale -------------------------------

    def responsividade(self):
        quantidade = 200 if self.rapido else 500
        servico, simulador = self.servico_com_balanca("responsividade")
        conexao = http.client.HTTPConnection("127.0.0.1", servico.porta, timeout=30)

        def medir():
            # Spread over a few seconds, so the measure spans the read attempts, their pauses
            # and the reconnection that the waiting requests go through.
            return latencias_teste(conexao, quantidade, pausa=0.005)

        medir()
        base = [percentil(medir(), 99) for _ in range(self.rodadas)]
        simulador.comando("silencio")
        pedidos_antes = simulador.requisicoes()
        espera = PedidosDePeso(servico.porta, 16)
        time.sleep(0.5)
        if espera.terminados():
            raise FalhaBench("pedidos de peso terminaram logo com a balança em silêncio")
        if simulador.requisicoes() <= pedidos_antes:
            raise FalhaBench("nenhum pedido de peso chegou à balança")
        sob_carga = []
        em_voo = []
        for _ in range(self.rodadas):
            latencias = medir()
            em_voo.append(espera.em_voo())
            sob_carga.append({"p99_ms": percentil(latencias, 99),
                              "mediana_ms": statistics.median(latencias),
                              "max_ms": max(latencias), "pesos_em_voo_no_fim": em_voo[-1]})
        conexao.close()
        print(f"  p99 sem carga {statistics.median(base):.3f} ms; com 16 pesos em espera "
              f"{statistics.median(s['p99_ms'] for s in sob_carga):.3f} ms "
              f"(em voo ao fim de cada rodada: {em_voo}; respostas: {espera.status()})")
        espera.parar_evento.set()
        simulador.comando("estavel")
        espera.parar(90)
        self.fechar_tudo()
        if min(em_voo) != 16:
            raise FalhaBench(f"só {min(em_voo)} dos 16 pedidos de peso estavam em voo")
        return {
            "pedidos_por_rodada": quantidade,
            "p99_ms": resumo([s["p99_ms"] for s in sob_carga]),
            "p99_sem_carga_ms": resumo(base),
            "rodadas": sob_carga,
            "respostas_de_peso": espera.status(),
        }

    # Idle CPU ----------------------------------------------------------------------------------

    def ocioso(self):
        duracao = 12 if self.rapido else 60
        janelas = 6
        receptor = self._abrir(ReceptorWebhook())
        casos = {}
        casos["a"] = self.servico_com_balanca("ocioso-a")
        casos["b"] = self.servico_com_balanca(
            "ocioso-b",
            servico_extra={"MonitorarBalancaManual": "S",
                           "IntervaloLeituraPesoMonitoraManual": 300},
            webhook={"IdIntegracao": "BENCH", "URL": f"http://127.0.0.1:{receptor.porta}",
                     "Token": "bench", "EndpointEnvioPeso": "/peso",
                     "EndpointEnvioStatus": "/status"})
        # The manual monitor starts 3 s after the service and announces the weight first.
        limite = time.monotonic() + 15
        while not any(p.startswith("/peso") for p, _ in receptor.pedidos):
            if time.monotonic() > limite:
                raise FalhaBench("o monitor manual não anunciou o peso ao webhook")
            time.sleep(0.1)
        time.sleep(1.0)
        pedidos_balanca = {k: sim.requisicoes() for k, (_, sim) in casos.items()}
        inicio_fios = {k: fios(s.pid) for k, (s, _) in casos.items()}
        marcas = {k: [(time.perf_counter(), tempo_cpu_ns(s.pid), tempo_cpu_ticks_ns(s.pid))]
                  for k, (s, _) in casos.items()}
        for _ in range(janelas):
            time.sleep(duracao / janelas)
            for k, (s, _) in casos.items():
                marcas[k].append((time.perf_counter(), tempo_cpu_ns(s.pid),
                                  tempo_cpu_ticks_ns(s.pid)))
        resultado = {"duracao_s": duracao, "janelas": janelas}
        for k, (s, sim) in casos.items():
            m = marcas[k]
            por_janela = [100.0 * (b[1] - a[1]) / ((b[0] - a[0]) * 1e9) for a, b in zip(m, m[1:])]
            total = 100.0 * (m[-1][1] - m[0][1]) / ((m[-1][0] - m[0][0]) * 1e9)
            ticks = 100.0 * (m[-1][2] - m[0][2]) / ((m[-1][0] - m[0][0]) * 1e9)
            leituras = sim.requisicoes() - pedidos_balanca[k]
            estaveis = fios(s.pid) == inicio_fios[k]
            resultado[k] = {
                # A thread that ended takes its schedstat with it; the ticks keep it.
                "cpu_percentual": total if estaveis else ticks,
                "cpu_percentual_ticks": ticks,
                "janelas_percentual": resumo(por_janela),
                "fios_estaveis": estaveis,
                "pedidos_a_balanca": leituras,
            }
            print(f"  ({k}) CPU {total:.4f} % de um núcleo (ticks {ticks:.3f} %), "
                  f"{leituras} leituras da balança em {duracao} s")
        resultado["webhook_pedidos"] = len(receptor.pedidos)
        self.fechar_tudo()
        return resultado

    # Memory ------------------------------------------------------------------------------------

    def memoria(self):
        total = 20_000 if self.rapido else 100_000
        script = PASTA_BENCH / "mistura.lua"
        execucoes = []
        for rodada in range(self.rodadas):
            servico, _ = self.servico_com_balanca(f"memoria{rodada}")
            time.sleep(1.0)
            inicial = rss_kib(servico.pid)
            url = f"http://127.0.0.1:{servico.porta}"
            medidas = [inicial]
            feitos = 0
            for _ in range(2):
                pesos = LeiturasDePeso(servico.porta)
                marcas = self.pasta("marcas")
                medida = wrk(url, script=script, duracao="300s", marcas=marcas,
                             extra=["--", str(total // 2 // 2), str(marcas)])
                feitos += medida["pedidos"] + pesos.parar()
                medidas.append(rss_kib(servico.pid))
            execucoes.append({
                "rss_inicial_kib": inicial,
                "rss_metade_kib": medidas[1],
                "rss_final_kib": medidas[2],
                "crescimento_kib": medidas[2] - inicial,
                "crescimento_segunda_metade_kib": medidas[2] - medidas[1],
                "pedidos": feitos,
                "fios_final": len(fios(servico.pid)),
            })
            print(f"  rodada {rodada + 1}: RSS {inicial} KiB ao iniciar, {medidas[1]} KiB na "
                  f"metade, {medidas[2]} KiB após {feitos} pedidos")
            self.fechar_tudo()
        return {
            "rss_inicial_mib": resumo([e["rss_inicial_kib"] / 1024 for e in execucoes]),
            "crescimento_mib": resumo([e["crescimento_kib"] / 1024 for e in execucoes]),
            "crescimento_segunda_metade_mib":
                resumo([e["crescimento_segunda_metade_kib"] / 1024 for e in execucoes]),
            "rodadas": execucoes,
        }

    # Start to listening ------------------------------------------------------------------------

    def partida(self):
        vezes = 5 if self.rapido else 10
        pasta = self.pasta("partida")
        tempos = []
        for _ in range(vezes):
            servico = self._abrir(Servico(self.programas, pasta,
                                          {"Service": config_servico(porta_livre())}))
            tempos.append(servico.iniciar() * 1000.0)
            self.fechar_tudo()
        print("  " + ", ".join(f"{t:.1f}" for t in tempos) + " ms")
        return {"partida_ms": resumo(tempos)}


def ler_peso(conexao):
    conexao.request("GET", "/api/v1/peso")
    resposta = conexao.getresponse()
    return resposta.status, resposta.read()


def sobra_do_peso(conexao):
    inicio = time.perf_counter()
    status, corpo = ler_peso(conexao)
    decorrido = (time.perf_counter() - inicio) * 1000.0
    if status != 200:
        raise FalhaBench(f"GET /api/v1/peso respondeu {status}: {corpo!r}")
    return decorrido - ESPERA_PROTOCOLO_MS


def sobra_da_referencia(conexao):
    inicio = time.perf_counter()
    time.sleep(ESPERA_PROTOCOLO_MS / 1000.0)
    conexao.request("GET", "/test")
    resposta = conexao.getresponse()
    resposta.read()
    return (time.perf_counter() - inicio) * 1000.0 - ESPERA_PROTOCOLO_MS


def latencias_teste(conexao, quantidade, pausa=0.0):
    latencias = []
    for _ in range(quantidade):
        time.sleep(pausa)
        inicio = time.perf_counter()
        conexao.request("GET", "/test")
        resposta = conexao.getresponse()
        resposta.read()
        latencias.append((time.perf_counter() - inicio) * 1000.0)
        if resposta.status != 200:
            raise FalhaBench(f"GET /test respondeu {resposta.status}")
    return latencias


class PedidosDePeso:
    """GET /api/v1/peso kept in flight on `quantidade` connections at once: a request that
    ends (a silent scale gives up after its attempts) is followed at once by another."""

    def __init__(self, porta, quantidade):
        self.quantidade = quantidade
        self.iniciados = 0
        self.respostas = {}
        self.trava = threading.Lock()
        self.parar_evento = threading.Event()
        self.fios = [threading.Thread(target=self._pedir, args=(porta,), daemon=True)
                     for _ in range(quantidade)]
        for fio in self.fios:
            fio.start()

    def _pedir(self, porta):
        while not self.parar_evento.is_set():
            with self.trava:
                self.iniciados += 1
            try:
                status = pedir(porta, "GET", "/api/v1/peso", prazo=600)[0]
            except OSError as erro:
                status = type(erro).__name__
            with self.trava:
                self.respostas[status] = self.respostas.get(status, 0) + 1

    def em_voo(self):
        with self.trava:
            return self.iniciados - sum(self.respostas.values())

    def terminados(self):
        with self.trava:
            return sum(self.respostas.values())

    def parar(self, prazo):
        self.parar_evento.set()
        limite = time.monotonic() + prazo
        for fio in self.fios:
            fio.join(max(0.0, limite - time.monotonic()))

    def status(self):
        with self.trava:
            return {str(k): v for k, v in self.respostas.items()}


class LeiturasDePeso:
    """Sequential weight reads in the background, joining the mixed requests."""

    def __init__(self, porta):
        self.porta = porta
        self.feitas = 0
        self.parar_evento = threading.Event()
        self.fio = threading.Thread(target=self._ler, daemon=True)
        self.fio.start()

    def _ler(self):
        conexao = http.client.HTTPConnection("127.0.0.1", self.porta, timeout=30)
        while not self.parar_evento.is_set():
            ler_peso(conexao)
            self.feitas += 1
        conexao.close()

    def parar(self):
        self.parar_evento.set()
        self.fio.join()
        return self.feitas


# ---------------------------------------------------------------------------------------------
# Report


def maquina():
    modelo_cpu = ""
    for linha in Path("/proc/cpuinfo").read_text().splitlines():
        if linha.startswith("model name"):
            modelo_cpu = linha.split(":", 1)[1].strip()
            break
    commit = subprocess.run(["git", "-C", str(RAIZ), "rev-parse", "--short", "HEAD"],
                            capture_output=True, text=True).stdout.strip()
    # Other developers share the working tree: the build may hold their uncommitted changes.
    alterados = subprocess.run(["git", "-C", str(RAIZ), "status", "--porcelain", "--", ".",
                                ":!bench"], capture_output=True, text=True).stdout.split("\n")
    return {
        "arquivos_nao_commitados": [a.strip() for a in alterados if a.strip()],
        "nucleos": os.cpu_count(),
        "cpu": modelo_cpu,
        "kernel": platform.release(),
        "carga_media_inicio": os.getloadavg(),
        "commit": commit,
        "data": datetime.datetime.now().isoformat(timespec="seconds"),
    }


def faixa(r, formato):
    return f"{formato.format(r['mediana'])} ({formato.format(r['min'])}–{formato.format(r['max'])})"


def linhas_tabela(resultados):
    linhas = []

    def linha(figura, valor, meta, atingida):
        linhas.append((figura, valor, meta, "yes" if atingida else "**no**"))

    p = resultados.get("sobrecarga_peso")
    if p:
        linha("Weight read overhead, median (latency − 200 ms)",
              f"{faixa(p['mediana_ms'], '{:.2f} ms')}; reference "
              f"{p['referencia_mediana_ms']['mediana']:.2f} ms", "≤ 2 ms",
              p["mediana_ms"]["mediana"] <= 2)
        linha("Weight read overhead, p99",
              f"{faixa(p['p99_ms'], '{:.2f} ms')}; reference "
              f"{p['referencia_p99_ms']['mediana']:.2f} ms", "≤ 5 ms",
              p["p99_ms"]["mediana"] <= 5)
    v = resultados.get("vazao")
    if v:
        for rota in ["/test", "/api/v1/service"]:
            r = v[rota]
            linha(f"Throughput GET {rota} (service ÷ nginx)",
                  f"{faixa(r['razao'], '{:.2f}')}; {r['servico_rps']['mediana']:.0f} vs "
                  f"{r['nginx_rps']['mediana']:.0f} req/s", "≥ 0.5",
                  r["razao"]["mediana"] >= 0.5)
    s = resultados.get("responsividade")
    if s:
        linha("Responsiveness: p99 GET /test, 16 weight requests waiting",
              f"{faixa(s['p99_ms'], '{:.2f} ms')}; without them "
              f"{s['p99_sem_carga_ms']['mediana']:.2f} ms", "≤ 10 ms",
              s["p99_ms"]["mediana"] <= 10)
    o = resultados.get("ocioso")
    if o:
        linha("Idle CPU (a): scale connected, no monitoring",
              f"{o['a']['cpu_percentual']:.3f} % of a core; 10 s windows "
              f"{faixa(o['a']['janelas_percentual'], '{:.3f}')}", "≤ 0.1 %",
              o["a"]["cpu_percentual"] <= 0.1)
        linha("Idle CPU (b): manual monitor every 300 ms",
              f"{o['b']['cpu_percentual']:.3f} % of a core; 10 s windows "
              f"{faixa(o['b']['janelas_percentual'], '{:.3f}')}", "≤ 1 %",
              o["b"]["cpu_percentual"] <= 1)
    m = resultados.get("memoria")
    if m:
        linha("Memory: RSS after start", faixa(m["rss_inicial_mib"], "{:.2f} MiB"), "≤ 15 MiB",
              m["rss_inicial_mib"]["mediana"] <= 15)
        linha(f"Memory: RSS growth after {m['rodadas'][0]['pedidos']:,} mixed requests",
              f"{faixa(m['crescimento_mib'], '{:.2f} MiB')}; second half "
              f"{faixa(m['crescimento_segunda_metade_mib'], '{:.2f} MiB')}", "≤ 1 MiB",
              m["crescimento_mib"]["mediana"] <= 1)
    t = resultados.get("partida")
    if t:
        linha("Start to listening (exec → first GET /test answered)",
              faixa(t["partida_ms"], "{:.1f} ms"), "≤ 100 ms", t["partida_ms"]["mediana"] <= 100)
    return linhas


def escrever_relatorio(resultados, destino_md, destino_json):
    m = resultados["maquina"]
    texto = [
        "# Benchmarks",
        "",
        f"Machine: {m['nucleos']} cores ({m['cpu']}), Linux {m['kernel']}, load average at the "
        f"start {m['carga_media_inicio'][0]:.2f}; commit {m['commit']}, {m['data']}. "
        f"Scale: SimuladorBalanca model {resultados['modelo']} over TCP on loopback.",
        "",
    ]
    if m["arquivos_nao_commitados"]:
        texto += ["The build held changes not yet committed in: " +
                  ", ".join(f"`{a.split(maxsplit=1)[-1]}`" for a in m["arquivos_nao_commitados"])
                  + ".", ""]
    texto += [
        f"Each value is the median of {resultados['rodadas']} runs, the spread (min–max) in "
        "brackets. Raw numbers: results.json. `make bench` rewrites both files.",
        "",
        "| Figure | Value | Goal | Met | Cores |",
        "|---|---|---|---|---|",
    ]
    for figura, valor, meta, atingida in linhas_tabela(resultados):
        texto.append(f"| {figura} | {valor} | {meta} | {atingida} | {m['nucleos']} |")
    texto += ["", "How each figure is taken:", ""]
    texto += [f"- {t}" for t in COMO]
    destino_md.write_text("\n".join(texto) + "\n")
    destino_json.write_text(json.dumps(resultados, indent=2, ensure_ascii=False) + "\n")


COMO = [
    "Weight read overhead: 200 sequential GET /api/v1/peso on one persistent HTTP/1.1 "
    "connection, the scale answering at once; each latency minus the protocol's fixed 200 ms "
    "wait. Service and scale traffic logs on, as a newcomer's config.ini has them. Reference, "
    "in the same run after every other read: the client itself sleeps 200 ms and then asks "
    "GET /test, so its excess is what waking up after 200 ms and one HTTP exchange cost on "
    "this machine, without the scale.",
    "Throughput: wrk -t2 -c64 -d10s against the service and against nginx (its own prefix, "
    "access log off, worker_processes auto) serving static files with the same bodies, "
    "content types and CORS headers; both sides in the same run, the order alternating.",
    "Responsiveness: 500 sequential GET /test, 5 ms apart, on a persistent connection while "
    "16 GET /api/v1/peso, each on its own connection, wait on a scale told `silencio` (one "
    "that gives up after its attempts is replaced at once; all 16 are checked to be in "
    "flight at the end of each run). Without them: the same before the scale falls silent.",
    "Idle cost: CPU time of all the service's threads (/proc/PID/task/*/schedstat) over 60 s, "
    "in six 10 s windows; both cases run side by side, each with its own scale. In (b) the "
    "webhook is a local receiver answering 200.",
    "Memory: VmRSS one second after the scale is connected, then after two halves of mixed "
    "requests (wrk -t2 -c64 with bench/mistura.lua: the read routes, the API document and "
    "its page, a 404, a 405, OPTIONS and a POST with a malformed body) plus sequential weight "
    "reads beside them. The growth over the second half alone tells a leak from the first "
    "connections' warm-up.",
    "Start to listening: from just before exec to the first answer of GET /test, polled "
    "every 0.5 ms; config.ini with the [Service] section only.",
]


FIGURAS = ["sobrecarga_peso", "vazao", "responsividade", "ocioso", "memoria", "partida"]


def main():
    argumentos = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    argumentos.add_argument("--bin", default=str(RAIZ / "build" / "release" / "bin"),
                            help="folder of ServiceTarvex and SimuladorBalanca")
    argumentos.add_argument("--modelo", type=int,
                            default=int(os.environ.get("TARVEX_BENCH_MODELO", "2")))
    argumentos.add_argument("--rodadas", type=int, default=3)
    argumentos.add_argument("--rapido", action="store_true",
                            help="shorter runs, to try the bench itself (not for results)")
    argumentos.add_argument("--so", nargs="*", choices=FIGURAS, help="only these figures")
    argumentos.add_argument("--saida", default=str(PASTA_BENCH),
                            help="folder for results.md and results.json")
    opcoes = argumentos.parse_args()

    programas = Path(opcoes.bin)
    for programa in ["ServiceTarvex", "SimuladorBalanca"]:
        if not (programas / programa).exists():
            sys.exit(f"bench: {programas / programa} não existe; compile o preset release")
    for ferramenta in ["wrk"]:
        if not shutil.which(ferramenta):
            sys.exit(f"bench: {ferramenta} não está instalado (bench/ferramentas.sh)")

    if PASTA_SAIDA.exists():
        shutil.rmtree(PASTA_SAIDA)
    PASTA_SAIDA.mkdir(parents=True)
    bancada = Bancada(programas, opcoes.modelo, opcoes.rodadas, opcoes.rapido)
    resultados = {"maquina": maquina(), "modelo": opcoes.modelo, "rodadas": opcoes.rodadas,
                  "rapido": opcoes.rapido}
    inicio = time.monotonic()
    try:
        for figura in opcoes.so or FIGURAS:
            print(f"bench: {figura}", flush=True)
            comeco = time.monotonic()
            resultados[figura] = getattr(bancada, figura)()
            print(f"  ({time.monotonic() - comeco:.0f} s)", flush=True)
    finally:
        bancada.fechar_tudo()
    resultados["maquina"]["carga_media_fim"] = os.getloadavg()
    resultados["duracao_s"] = round(time.monotonic() - inicio, 1)
    saida = Path(opcoes.saida)
    escrever_relatorio(resultados, saida / "results.md", saida / "results.json")
    for figura, valor, meta, atingida in linhas_tabela(resultados):
        print(f"  {figura}: {valor} (meta {meta}: {atingida})")
    print(f"bench: {saida / 'results.md'} ({resultados['duracao_s']} s)")


if __name__ == "__main__":
    main()
