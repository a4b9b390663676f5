#!/usr/bin/env bash
# Runs every test: unit tests (also under AddressSanitizer and UndefinedBehaviorSanitizer),
# the formatting check, a short fuzzing run, and the end-to-end tests that run the
# Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# The end-to-end tests configure and build the same sources in many folders (each signed
# configuration builds the native tool again): a compiler cache in the build folder, with
# paths taken relative to the checkout, compiles each once per run.
export CCACHE_DIR="$PWD/build/ccache" CCACHE_BASEDIR="$PWD" CMAKE_C_COMPILER_LAUNCHER=ccache \
  CMAKE_CXX_COMPILER_LAUNCHER=ccache
scripts/build.sh

echo "== formatting"
git ls-files -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'tests/*.c' 'fuzz/*.cpp' 'bench/*.cpp' |
  xargs clang-format --dry-run -Werror

# The sanitizer build and its unit tests run beside the end-to-end tests, at the lowest
# priority: those mostly wait for Wine's windows and programs, and Wine keeps its pace.
nice -n 19 bash -c 'cmake --preset sanitize >/dev/null && cmake --build --preset sanitize && ctest --preset sanitize -j2' \
  >build/sanitize.log 2>&1 &
sanitize=$!

echo "== unit and end-to-end tests, $(python3 tests/e2e/wine_target.py)"
native=0
ctest --preset native || native=$?

echo "== unit tests under the sanitizers (built and run beside the tests above)"
sanitized=0
wait "$sanitize" || sanitized=$?
cat build/sanitize.log
if ((native != 0 || sanitized != 0)); then
  echo "test: the native tests exited with $native, the sanitizer build and tests with $sanitized" >&2
  exit 1
fi

echo "== fuzzing"
scripts/fuzz.sh 30
