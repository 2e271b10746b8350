#!/usr/bin/env bash
# Installs what is missing, builds the test preset (sanitizers on) and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset test >/dev/null
cmake --build --preset test
exec ctest --preset test
