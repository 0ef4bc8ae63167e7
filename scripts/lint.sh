#!/usr/bin/env bash
# Static checks of Headroom's own code: clang-tidy with the checks in
# .clang-tidy (bugprone-*, concurrency-*, performance-*) over every source
# file in the CI build's compilation database (Qt's generated files left
# out), then cppcheck with the checks and suppressions listed below. Exits
# non-zero on any finding.
#
#   scripts/lint.sh            everything
#   scripts/lint.sh FILE...    only these files (clang-tidy and cppcheck)
set -euo pipefail
cd "$(dirname "$0")/.."

db=build/ci
if [ ! -f "$db/compile_commands.json" ]; then
  cmake --preset ci >/dev/null
fi
# Generated headers (ui_*.h, moc output) must exist before clang-tidy reads
# the files that include them.
cmake --build --preset ci -j "$(nproc)" >/dev/null

if [ "$#" -gt 0 ]; then
  files=("$@")
else
  mapfile -t files < <(
    sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' "$db/compile_commands.json" |
      grep -v -e '_autogen/' -e '/\.rcc/' -e '/build/' | sed "s|^$PWD/||" | sort -u)
fi

status=0
echo "== layers"
scripts/check-layers.sh || status=1

echo "== clang-tidy (${#files[@]} files)"
# Four files per clang-tidy, one per core; a clean file prints nothing.
# The database is gcc's: clang is told to pass over gcc-only warning flags.
if ! printf '%s\n' "${files[@]}" | grep -E '\.cpp$' |
    xargs -P "$(nproc)" -n 4 clang-tidy -p "$db" --quiet --extra-arg=-Wno-unknown-warning-option 2> >(grep -v -e 'warnings generated' -e '^Suppressed' -e 'Use -header-filter' -e 'NOLINT' >&2); then
  status=1
fi

echo "== cppcheck"
# warning, performance and portability checks; "style" is left out (it is
# mostly advice such as "use std::any_of"). The libraries describe Qt,
# POSIX and GoogleTest, whose headers cppcheck is not given.
mapfile -t checked < <(printf '%s\n' "${files[@]}" fuzz/*.cpp | grep -E '\.cpp$' | sort -u)
if ! cppcheck --std=c++20 --language=c++ -I. \
    --library=qt --library=posix --library=googletest \
    --enable=warning,performance,portability \
    --suppressions-list=.cppcheck-suppressions --inline-suppr \
    --error-exitcode=1 --quiet -j "$(nproc)" "${checked[@]}"; then
  status=1
fi

[ "$status" -eq 0 ] && echo "lint: clean"
exit "$status"
