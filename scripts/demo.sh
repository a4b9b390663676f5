#!/usr/bin/env bash
# Builds the launcher and runs it under Wine, with stand-ins for cmdkey and mstsc, for a
# sample launcher name; prints the boxes it showed, the command lines it ran, the files
# it left on the desktop and its exit code.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
python3 tests/e2e/demo.py "$@"
