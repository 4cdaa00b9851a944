#!/usr/bin/env bash
# Installs what is missing, builds Cartulo and starts it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" "$root/build" -DCMAKE_BUILD_TYPE=Release -DCARTULO_TESTS=OFF -DCARTULO_BENCH=OFF
cd "$root/build/bin"
exec ./cartulo
