#!/usr/bin/env bash
# Removing a 500,000-entry tree: the clean's removal (headroom-cli clean
# HOME downloads) against `rm -rf` on an identical copy, in the same run,
# alternating which goes first. Prints each time and the medians.
#
#   bench/bench_remove.sh [BUILD_DIR] [RUNS]
#
# BENCH_DIR picks the scratch folder (default: a new folder below /tmp);
# it must be on the file system you want to measure. EMPTY_FILES=1 makes
# every file empty, so the removal frees no data blocks and the time is the
# folder and inode work alone (on a file system mounted with `discard`,
# freeing data blocks dominates otherwise, for both tools alike).
set -euo pipefail

build=${1:-build/ci}
runs=${2:-3}
cli="$build/headroom-cli"
[[ -x $cli ]] || { echo "no headroom-cli in $build (build it first)" >&2; exit 1; }

scratch=$(mktemp -d "${BENCH_DIR:-/tmp}/headroom-bench-XXXXXX")
trap 'rm -rf "$scratch"' EXIT

dirs=500
files_per_dir=999 # 500 folders + 499,500 files = 500,000 entries

make_tree() { # $1: folder to create
  python3 - "$1" "$dirs" "$files_per_dir" "${EMPTY_FILES:-0}" <<'PY'
import os, sys
root, dirs, files = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
empty = sys.argv[4] == "1"
os.makedirs(root)
for d in range(dirs):
    sub = os.path.join(root, "d%03d" % d)
    os.mkdir(sub)
    for f in range(files):
        fd = os.open(os.path.join(sub, "f%04d" % f), os.O_CREAT | os.O_WRONLY, 0o644)
        if not empty:
            os.write(fd, b"x" * (f % 64))
        os.close(fd)
PY
}

seconds() { # runs "$@", prints elapsed seconds
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}

cold() { # written back and dropped from the cache (needs root; else warm)
  sync
  echo 3 > /proc/sys/vm/drop_caches 2>/dev/null || true
}

median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

ours=() theirs=()
for ((i = 1; i <= runs; i++)); do
  make_tree "$scratch/home/Downloads"
  make_tree "$scratch/copy"
  entries=$(find "$scratch/copy" | wc -l)
  # Both trees live in the same block groups, so whichever goes first would
  # warm the inode tables for the other: start each removal cold.
  if ((i % 2)); then
    cold; t_ours=$(seconds "$cli" clean "$scratch/home" downloads)
    cold; t_rm=$(seconds rm -rf "$scratch/copy")
  else
    cold; t_rm=$(seconds rm -rf "$scratch/copy")
    cold; t_ours=$(seconds "$cli" clean "$scratch/home" downloads)
  fi
  [[ ! -e $scratch/home/Downloads && ! -e $scratch/copy ]] || { echo "a tree was not removed" >&2; exit 1; }
  printf 'run %d (%d entries): clean %.3f s, rm -rf %.3f s\n' "$i" "$((entries - 1))" "$t_ours" "$t_rm"
  ours+=("$t_ours") theirs+=("$t_rm")
done

m_ours=$(printf '%s\n' "${ours[@]}" | median)
m_rm=$(printf '%s\n' "${theirs[@]}" | median)
printf 'median: clean %.3f s, rm -rf %.3f s, ratio clean/rm %.2f\n' "$m_ours" "$m_rm" "$(echo "$m_ours / $m_rm" | bc -l)"
