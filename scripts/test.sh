#!/usr/bin/env bash
# Installs what is missing, builds Cartulo and runs every test twice: a normal build, then
# one with AddressSanitizer and UndefinedBehaviorSanitizer, where any report fails the run.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/install-deps.sh"

run_suite() {
  local dir="$1"; shift
  bash "$root/scripts/build.sh" "$dir" "$@"
  (cd "$dir" && ctest --output-on-failure --timeout 600 -j "$(nproc)")
}

run_suite "$root/build-test" -DCMAKE_BUILD_TYPE=RelWithDebInfo
run_suite "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DCARTULO_SANITIZE=ON -DCARTULO_BENCH=OFF
