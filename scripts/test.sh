#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: the warnings-as-
# errors build, the AddressSanitizer + UndefinedBehaviorSanitizer build, and
# the ThreadSanitizer build of the core.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh

jobs=$(nproc)
presets=("${@:-ci asan tsan}")
for preset in ${presets[*]}; do
  echo "== $preset =="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
