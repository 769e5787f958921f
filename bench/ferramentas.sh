#!/usr/bin/env bash
# Installs the tools that only the benchmarks use (Debian 12): wrk for load and nginx as the
# reference server. Kept out of scripts/setup.sh so `make test` never needs them.
set -euo pipefail

missing=()
command -v wrk >/dev/null || missing+=(wrk)
command -v nginx >/dev/null || [ -x /usr/sbin/nginx ] || missing+=(nginx-light)
[ ${#missing[@]} -eq 0 ] && exit 0

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

echo "bench: installing: ${missing[*]}"
as_root apt-get update -qq
DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends "${missing[@]}"
