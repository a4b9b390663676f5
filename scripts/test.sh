#!/usr/bin/env bash
# Runs every test: unit tests (also under AddressSanitizer and UndefinedBehaviorSanitizer),
# the formatting check, a short fuzzing run, and the end-to-end tests that run the
# Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh sanitize

echo "== formatting"
git ls-files -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'tests/*.c' 'fuzz/*.cpp' 'bench/*.cpp' |
  xargs clang-format --dry-run -Werror

echo "== unit tests under the sanitizers"
ctest --preset sanitize -j2

echo "== fuzzing"
scripts/fuzz.sh 30

echo "== unit and end-to-end tests, $(python3 tests/e2e/wine_target.py)"
ctest --preset native
