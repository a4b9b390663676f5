#!/usr/bin/env bash
# Runs every test: unit tests (also under AddressSanitizer and UndefinedBehaviorSanitizer),
# the formatting check, a short fuzzing run, and the end-to-end tests that run the
# Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# The signing tests' certificates (some 45 RSA keys), made once for every test program below,
# beside the builds: their configuration steps leave a core idle.
rm -rf build/test-certificates
tests/fixtures/make-certificates.sh build/test-certificates &
certificates=$!
scripts/build.sh sanitize
wait "$certificates"
export RDPLAUNCH_MADE_CERTIFICATES="$PWD/build/test-certificates"

echo "== formatting"
git ls-files -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'tests/*.c' 'fuzz/*.cpp' 'bench/*.cpp' |
  xargs clang-format --dry-run -Werror

echo "== unit tests under the sanitizers"
ctest --preset sanitize -j2

echo "== fuzzing"
scripts/fuzz.sh 30

# The end-to-end tests configure and build the same sources in many folders of one depth
# (each signed configuration builds the native tool again): a compiler cache in the build
# folder, with paths taken relative to the checkout, compiles each once per run. The builds
# above have nothing to share with them or each other, and compile faster without it.
export CCACHE_DIR="$PWD/build/ccache" CCACHE_BASEDIR="$PWD" CMAKE_C_COMPILER_LAUNCHER=ccache \
  CMAKE_CXX_COMPILER_LAUNCHER=ccache
echo "== unit and end-to-end tests, $(python3 tests/e2e/wine_target.py)"
ctest --preset native
