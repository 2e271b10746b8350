#!/usr/bin/env bash
# Installs what is missing, builds the release preset and runs the check job on the bundled sample site.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target korvel >/dev/null
# The check leaves its page of external links in the site's top directory: work on a copy, so the
# repository stays as it is.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -a examples/site "$work/site"
# Status 1 only says that the report lists things to fix, which the sample site is made to have.
build/release/src/cli/korvel check "$work/site" --server www.example.com --target iso9660 || [ $? -eq 1 ]
