#!/usr/bin/env bash
# Runs one fuzz target for a bounded time and prints what it did.
#   rodar_fuzz.sh TARGET SEEDS CORPUS SECONDS [libFuzzer options...]
# New inputs that reach new code are kept in CORPUS (the seeds stay as they are). A finding
# leaves its input beside CORPUS as crash-*, leak-* or timeout-*, and the exit code is not 0.
set -uo pipefail

alvo=$1 sementes=$2 corpus=$3 segundos=$4
shift 4
nome=$(basename "$alvo")
mkdir -p "$corpus"
saida=$(mktemp)
trap 'rm -f "$saida"' EXIT

"$alvo" -max_total_time="$segundos" -print_final_stats=1 -timeout=10 \
  -artifact_prefix="$(dirname "$corpus")/$nome-" "$@" "$corpus" "$sementes" >"$saida" 2>&1
codigo=$?

execucoes=$(sed -n 's/^stat::number_of_executed_units: *//p' "$saida" | tail -1)
cobertura=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$saida" | tail -1)
entradas=$(find "$corpus" -type f | wc -l)
printf '%-20s %10s executions  %-22s corpus %s inputs  (%ss)\n' \
  "$nome" "${execucoes:-?}" "${cobertura:-cov: ?}" "$entradas" "$segundos"
if [ "$codigo" -ne 0 ]; then
  tail -60 "$saida"
  echo "$nome: FINDING (exit $codigo)"
fi
exit "$codigo"
