#!/usr/bin/env bash
# Builds the Windows executable (build/win32/rdplaunch.exe, the one that is shipped),
# the same sources as a 64-bit program (build/win64, which the end-to-end tests run on
# hosts without 32-bit execution; built everywhere so that it never breaks unseen), and
# the native programs.
set -euo pipefail
cd "$(dirname "$0")/.."
for preset in win32 win64 native "$@"; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
