#!/usr/bin/env bash
# Installs what is missing, builds Cartulo and runs every test twice: a normal build, then
# one with AddressSanitizer and UndefinedBehaviorSanitizer, where any report fails the run.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/install-deps.sh"

# CTest stops the private PostgreSQL server after the tests that use it; this stops it too
# when the run is interrupted or the test command itself fails.
stop_pg_test_servers() {
  local build socket
  for build in "$root/build-test" "$root/build-asan"; do
    socket="$(sed -n 's/^CARTULO_PG_SOCKET_DIR:INTERNAL=//p' "$build/CMakeCache.txt" 2>/dev/null || true)"
    if [ -n "$socket" ]; then
      bash "$root/scripts/pg-test-server.sh" stop "$socket" || true
    fi
  done
}
trap stop_pg_test_servers EXIT

run_suite() {
  local dir="$1"; shift
  bash "$root/scripts/build.sh" "$dir" "$@"
  (cd "$dir" && ctest --output-on-failure --timeout 600 -j "$(nproc)")
}

run_suite "$root/build-test" -DCMAKE_BUILD_TYPE=RelWithDebInfo
run_suite "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DCARTULO_SANITIZE=ON -DCARTULO_BENCH=OFF
