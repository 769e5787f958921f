#!/usr/bin/env bash
# Starts ServiceTarvex in the foreground on a demo folder.
set -euo pipefail
demo=${1:-build/demo}
mkdir -p "$demo"
demo=$(cd "$demo" && pwd)
echo "Tarvex demo"
echo "  config: $demo/config.ini"
echo "  logs:   $demo/Logs/"
echo "  API:    http://127.0.0.1:50994/test  (Ctrl-C stops)"
exec build/bin/ServiceTarvex --dir "$demo"
