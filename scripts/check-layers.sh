#!/usr/bin/env bash
# Checks every include of core/, l10n/, cli/, app/ and helper/ against the
# layer table of docs/architecture.md, which is read here so that the two
# cannot disagree. A folder may include its own headers and what its "May
# include" cell names:
#   `core/`                        that folder's headers
#   header-only parts of `core/`   its headers that have no .cpp beside them
#   QtCore, QtWidgets, ...         the headers of that Qt module
#   xcb                            <xcb/...>
#   liburing                       <liburing.h>
#   the C++ standard library and POSIX   (not checked)
# Prints every include that breaks the table and exits non-zero if any does.
set -euo pipefail
cd "$(dirname "$0")/.."

doc=docs/architecture.md
qtHeaders=$(qtpaths6 --query QT_INSTALL_HEADERS 2>/dev/null || ls -d /usr/include/*/qt6 2>/dev/null | head -n 1 || true)

# The table's rows as "folder<TAB>may include", e.g. "l10n<TAB>`core/`, QtCore".
table=$(awk -F'|' '/^## Layers/ { inside = 1 } /^## / && !/^## Layers/ { inside = 0 }
  inside && $2 ~ /^ `[a-z0-9]+\/` $/ { gsub(/[ `\/]/, "", $2); sub(/^ /, "", $4); sub(/ $/, "", $4); print $2 "\t" $4 }' "$doc")
[ -n "$table" ] || { echo "check-layers: no layer table in $doc"; exit 2; }

status=0
while IFS=$'\t' read -r layer cell; do
  ours=" $layer "
  headerOnly=" "
  qt=" "
  xcb=false
  liburing=false
  IFS=',' read -r -a items <<<"$cell"
  for item in "${items[@]}"; do
    item=$(sed 's/^ *//; s/ *$//' <<<"$item")
    case "$item" in
      '`'*'/`') ours+="$(tr -d '`/' <<<"$item") " ;;
      'header-only parts of `'*'/`') headerOnly+="$(sed 's/.*`\(.*\)\/`/\1/' <<<"$item") " ;;
      xcb) xcb=true ;;
      liburing) liburing=true ;;
      'the C++ standard library and POSIX') ;;
      *)
        if [[ "$item" =~ ^Qt[A-Za-z]+$ ]] && { [ -z "$qtHeaders" ] || [ -d "$qtHeaders/$item" ]; }; then
          qt+="$item "
        else
          echo "check-layers: $doc: cannot read '$item' for $layer/"
          exit 2
        fi ;;
    esac
  done

  while IFS=: read -r file line include; do
    header=$(sed -n 's/^#include [<"]\(.*\)[>"].*/\1/p' <<<"$include")
    case "$include" in
      '#include "'*/*)
        target=${header%%/*}
        if [[ "$ours" == *" $target "* ]]; then continue; fi
        if [[ "$headerOnly" == *" $target "* ]] && ! git ls-files --error-unmatch "${header%.h}.cpp" >/dev/null 2>&1; then
          continue
        fi
        reason="$layer/ may not include $target/" ;;
      '#include <Q'*)
        module=${header%%/*}
        if [ "$module" = "$header" ] && [ -n "$qtHeaders" ]; then
          module=$(cd "$qtHeaders" && ls -d -- Qt*/"$header" 2>/dev/null | head -n 1 | cut -d/ -f1)
        fi
        if [ -n "$module" ] && [[ "$qt" == *" $module "* ]]; then continue; fi
        reason="$layer/ may not include ${module:-a Qt header}" ;;
      '#include <xcb/'*)
        if $xcb; then continue; fi
        reason="$layer/ may not include xcb" ;;
      '#include <liburing'*)
        if $liburing; then continue; fi
        reason="$layer/ may not include liburing" ;;
      *) continue ;;
    esac
    echo "$file:$line: $reason: $include"
    status=1
  done < <(git grep -n -E '^#include ' -- "$layer/" || true)
done <<<"$table"

[ "$status" -eq 0 ] && echo "layers: every include is one $doc allows"
exit "$status"
