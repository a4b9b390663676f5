#!/usr/bin/env bash
# Builds the Windows executable (build/win32/rdplaunch.exe) and the native programs.
set -euo pipefail
cd "$(dirname "$0")/.."
for preset in win32 native "$@"; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
