#!/usr/bin/env bash
# Static checks of Headroom's own code: the include order of the folders;
# the layout of every tracked C++ file against .clang-format; clang-tidy
# with the checks in .clang-tidy (bugprone-*, concurrency-*, performance-*)
# over every source file in the CI build's compilation database, Qt's
# generated files left out; then cppcheck with the checks and suppressions
# listed below. Exits non-zero on any finding.
#
#   scripts/lint.sh            everything
#   scripts/lint.sh FILE...    only these files (layout, clang-tidy, cppcheck)
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
  mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
fi
mapfile -t sources < <(printf '%s\n' "${files[@]}" | grep -E '\.cpp$' || true)

status=0
echo "== layers"
scripts/check-layers.sh || status=1

echo "== clang-format (${#files[@]} files)"
if ! clang-format --dry-run -Werror "${files[@]}"; then
  echo "reformat with: clang-format -i FILE..."
  status=1
fi

# run-clang-tidy takes regular expressions over the database's absolute
# paths: our own source folders, which leaves out what moc, uic and rcc
# generate below build/; or, when files are named, exactly those.
escape() { sed 's/[][\.*^$+?(){}|]/\\&/g'; }
if [ "$#" -gt 0 ]; then
  selection=()
  for source in "${sources[@]}"; do
    selection+=("^$(realpath -m "$source" | escape)\$")
  done
else
  selection=("^$(escape <<<"$PWD")/(app|bench|cli|core|helper|l10n|tests)/.*\.cpp\$")
fi
echo "== clang-tidy"
# The database is gcc's: clang is told to pass over gcc-only warning flags.
# A clean file prints nothing but its command line, which is dropped here.
if [ "${#sources[@]}" -gt 0 ] &&
    ! run-clang-tidy -quiet -p "$db" -j "$(nproc)" -extra-arg=-Wno-unknown-warning-option "${selection[@]}" 2>&1 |
      { grep -v -e '^clang-tidy' -e '^$' -e 'warnings generated' -e '^Suppressed' -e 'Use -header-filter' || true; }; then
  status=1
fi

echo "== cppcheck"
# warning, performance and portability checks; "style" is left out (it is
# mostly advice such as "use std::any_of"). The libraries describe Qt,
# POSIX and GoogleTest, whose headers cppcheck is not given.
if [ "${#sources[@]}" -gt 0 ] && ! cppcheck --std=c++20 --language=c++ -I. \
    --library=qt --library=posix --library=googletest \
    --enable=warning,performance,portability \
    --suppressions-list=.cppcheck-suppressions --inline-suppr \
    --error-exitcode=1 --quiet -j "$(nproc)" "${sources[@]}"; then
  status=1
fi

[ "$status" -eq 0 ] && echo "lint: clean"
exit "$status"
