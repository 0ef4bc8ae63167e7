#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: the warnings-as-
# errors build, the AddressSanitizer + UndefinedBehaviorSanitizer build, and
# the ThreadSanitizer build; then the share of tests in the C++, the include
# order of the folders, clang-tidy and cppcheck, and a short libFuzzer run
# of every fuzz target.
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

# With no presets named (the CI run): the static checks and a short,
# bounded fuzzing run of every target (see scripts/fuzz.sh for longer runs).
if [ "$#" -eq 0 ]; then
  echo "== test share =="
  scripts/test-share.sh --max 38
  echo "== lint =="
  scripts/lint.sh
  echo "== platforms =="
  scripts/check-platforms.sh build/ci/headroom
  echo "== fuzz =="
  scripts/fuzz.sh "${HEADROOM_FUZZ_BUDGET:-20000}"
fi

# A full run also builds the Debian package, validates it and runs what it
# installs.
if [ "$#" -eq 0 ]; then
  echo "== package =="
  scripts/package.sh
fi
