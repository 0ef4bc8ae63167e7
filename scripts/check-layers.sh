#!/usr/bin/env bash
# Each folder includes only the folders below it:
#   core/    the standard library and POSIX (no Qt)
#   l10n/    core/ and QtCore
#   cli/     core/, l10n/
#   app/     core/, l10n/, cli/
#   helper/  nothing of ours but header-only parts of core/ (it links none)
# Prints every include that breaks the order and exits non-zero if any does.
set -euo pipefail
cd "$(dirname "$0")/.."

allowed() {
  case "$1" in
    core) echo "core" ;;
    l10n) echo "core l10n" ;;
    cli) echo "core l10n cli" ;;
    app) echo "core l10n cli app" ;;
    helper) echo "helper" ;;
  esac
}

status=0
for layer in core l10n cli app helper; do
  ok=" $(allowed "$layer") "
  while IFS=: read -r file line include; do
    target=$(sed -n 's/^#include "\([^/"]*\)\/.*/\1/p' <<<"$include")
    [ -n "$target" ] || continue
    if [[ "$ok" != *" $target "* ]]; then
      # The helper may use header-only parts of the core.
      if [ "$layer" = helper ] && [ "$target" = core ] &&
          ! git ls-files --error-unmatch "$(sed 's/^#include "\(.*\)"/\1/' <<<"$include" | sed 's/\.h$/.cpp/')" >/dev/null 2>&1; then
        continue
      fi
      echo "$file:$line: $layer/ may not include $target/: $include"
      status=1
    fi
  done < <(git grep -n -E '^#include "' -- "$layer/" || true)
done
# The core and its text composition stay free of Qt.
if git grep -n -E '^#include <Q' -- core/ helper/; then
  echo "core/ and helper/ may not include Qt"
  status=1
fi
[ "$status" -eq 0 ] && echo "layers: every folder includes only those below it"
exit "$status"
