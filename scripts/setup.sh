#!/usr/bin/env bash
# Installs what building and testing Tarvex needs on Debian 12.
# With --if-needed it only acts when something is missing, so `make` can call it every time.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  libgtest-dev libgmock-dev googletest
  libcpp-httplib-dev nlohmann-json3-dev libssl-dev
  locales curl
  clang libclang-rt-14-dev
)

ROOT=$(cd "$(dirname "$0")/.." && pwd)

missing_packages() {
  local p
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
  # npm installs the Swagger UI files. Checked as a command: a Node.js from another source
  # brings its own npm and conflicts with Debian's npm package.
  command -v npm >/dev/null || echo "nodejs npm"
}

# The page of the API document serves Swagger UI from this npm package (package-lock.json).
swagger_ui_missing() {
  [ ! -f "$ROOT/node_modules/swagger-ui-dist/swagger-ui-bundle.js" ] ||
    [ "$ROOT/package-lock.json" -nt "$ROOT/node_modules/.package-lock.json" ]
}

locale_missing() {
  ! locale -a 2>/dev/null | grep -qi '^pt_BR\.utf-\?8$'
}

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=$(missing_packages)
if [ "${1:-}" = "--if-needed" ] && [ -z "$missing" ] && ! locale_missing && ! swagger_ui_missing; then
  exit 0
fi

if [ -n "$missing" ]; then
  echo "setup: installing: $(echo $missing | tr '\n' ' ')"
  as_root apt-get update -qq
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends $missing
fi

if locale_missing; then
  echo "setup: generating the pt_BR.UTF-8 locale"
  as_root sed -i 's/^# *\(pt_BR.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^pt_BR.UTF-8 UTF-8' /etc/locale.gen || echo 'pt_BR.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
  as_root locale-gen >/dev/null
fi
if swagger_ui_missing; then
  echo "setup: installing the npm packages of package-lock.json"
  # No install scripts: the only one is a download counter that would call out to the internet.
  (cd "$ROOT" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error)
fi
echo "setup: done"
