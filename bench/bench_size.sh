#!/usr/bin/env bash
# Times `headroom-cli size` against `du -sbl` and `gdu` on a generated tree
# of FOLDERS x FILES entries (default 1000 x 500, about 500,000 entries),
# warm cache and, as root, cold cache; prints median wall times, the ratios
# and each tool's peak RSS. The same headroom-cli also runs with io_uring
# refused (bench/no_io_uring.cpp), as a filtered container refuses it: its
# walker then stats every entry with plain statx calls on the same threads,
# and the "plain" row shows what the statx ring gains.
#
# usage: bench/bench_size.sh [HEADROOM_CLI]
#   HEADROOM_CLI     default: build/release/headroom-cli (built when missing)
# environment:
#   RUNS=5 FOLDERS=1000 FILES=500   timed runs per tool and tree shape
#   COLD=1                           cold-cache round (needs root)
#   BENCH_DIR=/tmp                   where the tree is built
#   KEEP_TREE=PATH                   reuse (or build and keep) the tree at PATH
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

runs=${RUNS:-5}
folders=${FOLDERS:-1000}
files=${FILES:-500}
cold=${COLD:-1}

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# --- tools -----------------------------------------------------------------
need=()
command -v gdu >/dev/null || need+=(gdu)
command -v hyperfine >/dev/null || need+=(hyperfine)
[ -x /usr/bin/time ] || need+=(time)
command -v python3 >/dev/null || need+=(python3)
command -v c++ >/dev/null || need+=(g++)
if [ "${#need[@]}" -gt 0 ]; then
  echo "bench: installing ${need[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

cli=${1:-$repo/build/release/headroom-cli}
if [ ! -x "$cli" ]; then
  echo "bench: building $cli"
  cmake --preset release >/dev/null
  cmake --build --preset release --target headroom-cli -j "$(nproc)"
fi
cli=$(realpath "$cli")

# --- tree ------------------------------------------------------------------
work=$(mktemp -d "${BENCH_DIR:-${TMPDIR:-/tmp}}/bench_size.XXXXXX")
cleanup() { rm -rf --one-file-system -- "$work"; }
trap cleanup EXIT

c++ -O2 -o "$work/gen" bench/bench_size_gen.cpp
c++ -O2 -o "$work/no_io_uring" bench/no_io_uring.cpp
if [ -n "${KEEP_TREE:-}" ]; then
  tree=$KEEP_TREE
  if [ ! -d "$tree" ]; then
    mkdir -p "$tree"
    echo "bench: building $folders x $files entries in $tree (kept)"
    "$work/gen" "$tree" "$folders" "$files"
  fi
else
  tree=$work/tree
  mkdir "$tree"
  echo "bench: building $folders x $files entries in $tree"
  "$work/gen" "$tree" "$folders" "$files"
fi

# --- the tools agree before they are timed ----------------------------------
root_size=$(stat -c %s "$tree")
du_bytes=$(du -sbl "$tree" | cut -f1)
hr_bytes=$("$cli" size "$tree" | cut -f1)
plain_bytes=$("$work/no_io_uring" "$cli" size "$tree" | cut -f1)
echo "bench: du -sbl $du_bytes (root entry $root_size), headroom-cli size $hr_bytes, without io_uring $plain_bytes"
if [ "$hr_bytes" -ne $((du_bytes - root_size)) ] || [ "$plain_bytes" -ne "$hr_bytes" ]; then
  echo "bench: headroom-cli disagrees with du -sbl minus the root entry" >&2
  exit 1
fi

q_tree=$(printf '%q' "$tree")
q_cli=$(printf '%q' "$cli")
declare -A cmd=(
  [headroom]="$q_cli size $q_tree"
  [plain]="$(printf '%q' "$work/no_io_uring") $q_cli size $q_tree"
  [du]="du -sbl $q_tree"
  [gdu]="gdu -n -p -s -a --no-prefix $q_tree"
)
order=(headroom plain du gdu)

# Peak RSS in KiB: the largest of three runs.
peak_rss() {
  local best=0 kb
  for _ in 1 2 3; do
    kb=$( { /usr/bin/time -f '%M' bash -c "$1 >/dev/null" ; } 2>&1 | tail -n1)
    [ "$kb" -gt "$best" ] && best=$kb
  done
  echo "$best"
}

# round NAME PREPARE: hyperfine for every tool, medians printed as a table.
round() {
  local name=$1 prepare=$2 json=$work/$1.json
  local args=(--style basic --runs "$runs" --export-json "$json" -N)
  if [ -n "$prepare" ]; then
    args+=(--prepare "$prepare")
  else
    args+=(--warmup 1)
  fi
  local names=()
  for tool in "${order[@]}"; do names+=(-n "$tool" "${cmd[$tool]}"); done
  # -N runs without a shell; the prepare command still gets one.
  hyperfine "${args[@]}" "${names[@]}" >"$work/$name.log" 2>&1 || {
    cat "$work/$name.log" >&2
    exit 1
  }
  python3 - "$json" "$name" <<'EOF'
import json, statistics, sys
data = json.load(open(sys.argv[1]))
med = {r["command"]: statistics.median(r["times"]) for r in data["results"]}
h = med["headroom"]
print(f"== {sys.argv[2]} cache: median wall time of {len(data['results'][0]['times'])} runs")
for tool in ("headroom", "plain", "du", "gdu"):
    print(f"  {tool:9s} {med[tool]*1000:9.1f} ms")
print(f"  plain/headroom {med['plain']/h:5.2f}x   (what the statx ring gains)")
print(f"  du/headroom    {med['du']/h:5.2f}x")
print(f"  du/plain       {med['du']/med['plain']:5.2f}x")
print(f"  gdu/headroom   {med['gdu']/h:5.2f}x")
EOF
}

echo "bench: $(nproc) cores, $runs runs per tool, tree $(du -sh --apparent-size "$tree" | cut -f1) apparent"
round warm ""
if [ "$cold" = 1 ]; then
  if [ "$(id -u)" -eq 0 ] && [ -w /proc/sys/vm/drop_caches ]; then
    # hyperfine -N runs the prepare command without a shell too.
    printf '#!/bin/sh\nsync\necho 3 > /proc/sys/vm/drop_caches\n' >"$work/drop_caches"
    chmod +x "$work/drop_caches"
    round cold "$work/drop_caches"
  else
    echo "== cold cache: skipped (needs root to drop the caches)"
  fi
fi

echo "== peak RSS (largest of 3 warm runs)"
for tool in "${order[@]}"; do
  printf '  %-9s %7d KiB\n' "$tool" "$(peak_rss "${cmd[$tool]}")"
done
