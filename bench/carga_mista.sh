#!/usr/bin/env bash
# The long form of the mixed-load test: 200 connections on every route of a running
# ServiceTarvex for 30 seconds, twice, with the memory compared between the two rounds.
#   bench/carga_mista.sh [BIN_DIR] [CONNECTIONS] [SECONDS]
# BIN_DIR is where the programs were built: build/bin for the `debug` preset (make build).
set -euo pipefail

raiz=$(cd "$(dirname "$0")/.." && pwd)
programa=${1:-$raiz/build/bin}/testes_robustez
if [ ! -x "$programa" ]; then
  echo "bench: $programa not found; build it first (make build)" >&2
  exit 2
fi
TARVEX_CARGA_CONEXOES=${2:-200} TARVEX_CARGA_SEGUNDOS=${3:-30} \
  "$programa" --gtest_filter='Carga.*'
