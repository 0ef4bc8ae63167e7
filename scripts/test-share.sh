#!/usr/bin/env bash
# Prints how much of the C++ is tests: counted lines (not blank, not only a
# "//" comment) of the C++ under tests/ against all C++ in the repository
# (code, tests, fuzz targets and benchmarks), per folder and in total.
#   scripts/test-share.sh           the figures
#   scripts/test-share.sh --max N   also fails when the share is above N %
set -euo pipefail
cd "$(dirname "$0")/.."

count() {
  git ls-files -co --exclude-standard -- "$@" | grep -E '\.(cpp|cc|cxx|h|hpp)$' |
    xargs -r cat | grep -c -v -E '^\s*(//.*)?$' || true
}

all=$(count .)
tests=$(count tests)
for dir in core l10n cli app helper tests fuzz bench; do
  printf '%-8s %6d\n' "$dir/" "$(count "$dir")"
done
share=$(( 1000 * tests / all ))
printf 'tests: %d of %d counted C++ lines = %d.%d %%\n' "$tests" "$all" $((share / 10)) $((share % 10))

if [ "${1:-}" = "--max" ]; then
  if [ "$share" -gt $(( ${2:?--max needs a percentage} * 10 )) ]; then
    echo "test share above ${2} %"
    exit 1
  fi
fi
