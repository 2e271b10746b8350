#!/usr/bin/env bash
# Installs what is missing, builds the release preset and runs Korvel on the bundled sample site.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target korvel >/dev/null
exec build/release/src/cli/korvel probe examples/site
