#!/usr/bin/env bash
# Line coverage of src/ by the whole test suite: builds the coverage preset (no sanitizers), runs the
# tests and prints gcovr's summary; an HTML page per file goes to build/coverage/html/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset coverage >/dev/null
cmake --build --preset coverage
find build/coverage -name '*.gcda' -delete
ctest --preset coverage >/dev/null || echo "coverage: some tests failed; the figures count what ran" >&2
mkdir -p build/coverage/html
gcovr --root . --object-directory build/coverage --exclude-directories 'build/coverage/CMakeFiles' \
  --filter 'src/' --exclude-unreachable-branches \
  --html-details build/coverage/html/index.html --print-summary
