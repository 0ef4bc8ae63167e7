#!/usr/bin/env bash
# Times `headroom-cli scan --items` (each row's items and both sizes, from
# the same walk) against the plain `headroom-cli scan` on a home whose
# Caches hold FOLDERS x FILES entries (default 1000 x 500, about 500,000),
# warm cache, in one run; prints the median wall times, their ratio (goal:
# at most 1.05), the nanoseconds per entry and each one's peak RSS (goal:
# at most 16 MB). The two alternate, run by run, so that other work on the
# machine weighs on both alike. Then the peak RSS of scan --items on a Downloads folder of
# DOWNLOADS files (default 100,000), each of them an item.
#
# BIG=1 (not in CI: about 5 GB of inodes and many minutes) also builds a
# Caches of 5,000,000 entries (5000 x 1000) and prints the same figures for
# it, so that the nanoseconds per entry and the peak memory can be compared
# with the 500,000-entry tree's: the cost should grow linearly and the
# memory stay flat.
#
# usage: bench/bench_items.sh [HEADROOM_CLI]
#   HEADROOM_CLI     default: build/release/headroom-cli (built when missing)
# environment:
#   RUNS=7 FOLDERS=1000 FILES=500 DOWNLOADS=100000 BIG=0 BENCH_DIR=/tmp
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

runs=${RUNS:-7}
folders=${FOLDERS:-1000}
files=${FILES:-500}
downloads=${DOWNLOADS:-100000}

for tool in python3 c++; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is missing" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "bench: /usr/bin/time is missing (apt-get install time)" >&2; exit 1; }

cli=${1:-$repo/build/release/headroom-cli}
if [ ! -x "$cli" ]; then
  echo "bench: building $cli"
  cmake --preset release >/dev/null
  cmake --build --preset release --target headroom-cli -j "$(nproc)"
fi
cli=$(realpath "$cli")

work=$(mktemp -d "${BENCH_DIR:-${TMPDIR:-/tmp}}/bench_items.XXXXXX")
cleanup() { rm -rf --one-file-system -- "$work"; }
trap cleanup EXIT
c++ -O2 -o "$work/gen" bench/bench_size_gen.cpp

# Peak RSS in KiB: the largest of three runs.
peak_rss() {
  local best=0 kb
  for _ in 1 2 3; do
    kb=$( { /usr/bin/time -f '%M' "$@" >/dev/null; } 2>&1 | tail -n1)
    [ "$kb" -gt "$best" ] && best=$kb
  done
  echo "$best"
}

# compare HOME ENTRIES: both scans checked against each other, then timed
# and their figures printed.
compare() {
  local home=$1 entries=$2
  # The same row total either way; the items add up to it.
  python3 - "$cli" "$home" <<'EOF'
import json, subprocess, sys
cli, home = sys.argv[1], sys.argv[2]
plain = json.loads(subprocess.check_output([cli, "scan", "--json", home]))
items = json.loads(subprocess.check_output([cli, "scan", "--items", "--json", home]))
for p, i in zip(plain, items):
    assert p["bytes"] == i["bytes"], (p["row"], p["bytes"], i["bytes"])
    assert sum(x["bytes"] for x in i["items"]) == i["bytes"] or i["row"] == "trash", i["row"]
    assert sum(x["allocated"] for x in i["items"]) == i["allocated"] or i["row"] == "trash", i["row"]
c = items[0]
print(f"  caches: {c['bytes']} bytes apparent, {c['allocated']} bytes on disk, {len(c['items'])} items")
EOF
  # Runs alternate, plain then items then items then plain, so that a
  # machine shared with other work slows both alike and neither always
  # follows the other; medians of RUNS each, after one warm-up of each.
  local plain_kb items_kb
  plain_kb=$(peak_rss "$cli" scan "$home")
  items_kb=$(peak_rss "$cli" scan --items "$home")
  python3 - "$cli" "$home" "$runs" "$entries" "$plain_kb" "$items_kb" <<'EOF'
import statistics, subprocess, sys, time
cli, home, runs, entries = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
kb = {"plain": int(sys.argv[5]), "items": int(sys.argv[6])}
words = {"plain": [cli, "scan", home], "items": [cli, "scan", "--items", home]}
times = {"plain": [], "items": []}
for round in range(runs + 1):
    for name in ("plain", "items") if round % 2 == 0 else ("items", "plain"):
        start = time.perf_counter()
        subprocess.run(words[name], stdout=subprocess.DEVNULL, check=True)
        if round > 0:
            times[name].append(time.perf_counter() - start)
med = {name: statistics.median(t) for name, t in times.items()}
for name in ("plain", "items"):
    print(f"  scan {name:6s} {med[name]*1000:9.1f} ms  {med[name]*1e9/entries:7.1f} ns/entry  peak RSS {kb[name]} KiB")
print(f"  items/plain {med['items']/med['plain']:5.3f}x   (goal <= 1.05x; peak RSS goal <= 16384 KiB)")
EOF
}

# tree NAME FOLDERS FILES: a home with FOLDERS x FILES entries in .cache.
tree() {
  local home=$work/$1
  mkdir -p "$home/.cache"
  echo "bench: building $2 x $3 entries in $home/.cache" >&2
  "$work/gen" "$home/.cache" "$2" "$3"
  echo "$home"
}

echo "bench: $(nproc) cores, $runs runs each, warm cache"
home=$(tree home "$folders" "$files")
echo "== $((folders * files + folders)) entries below Caches"
compare "$home" $((folders * files + folders))
rm -rf --one-file-system -- "$home"

# Downloads: one folder of plain files, each an item.
dl=$work/dl
mkdir -p "$dl/.cache"
"$work/gen" "$dl" 1 "$downloads"
mv "$dl/folder-00000" "$dl/Downloads"
echo "== Downloads of $downloads files"
printf '  scan --items peak RSS %d KiB (plain scan %d KiB)\n' \
  "$(peak_rss "$cli" scan --items "$dl")" "$(peak_rss "$cli" scan "$dl")"
rm -rf --one-file-system -- "$dl"

if [ "${BIG:-0}" = 1 ]; then
  home=$(tree big 5000 1000)
  echo "== 5005000 entries below Caches"
  compare "$home" 5005000
fi
