#!/usr/bin/env bash
# Installs what is missing, builds Cartulo optimised and runs the benchmark (arguments are
# passed on: --small, --provider postgresql, --server FILE.udl, --archive DIR, --runs N,
# --only NAMES, --regenerate, --seconds N).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" "$root/build-bench" -DCMAKE_BUILD_TYPE=Release -DCARTULO_TESTS=OFF -DCARTULO_BENCH=ON
export QT_QPA_PLATFORM=offscreen
exec "$root/build-bench/bin/cartulo-bench" "$@"
