#!/usr/bin/env bash
# Installs what is missing, builds the release preset and checks the names of the bundled sample site.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target korvel >/dev/null
# Status 1 only says that the report lists names to change, which the sample site is made to have.
build/release/src/cli/korvel check examples/site --files-only --target iso9660 || [ $? -eq 1 ]
