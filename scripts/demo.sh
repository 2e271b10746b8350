#!/usr/bin/env bash
# Installs what is missing, builds the release preset and scans the bundled sample site as a job does.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target korvel >/dev/null
exec build/release/src/cli/korvel scan examples/site
