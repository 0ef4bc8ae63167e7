#!/usr/bin/env bash
# Builds the libFuzzer targets (the "fuzz" preset: clang, ASan + UBSan) and
# runs each one for a bounded budget, starting from the committed corpus in
# fuzz/corpus/<target>/. New inputs go to build/fuzz/runs/corpus/, crashes
# to build/fuzz/runs/artifacts/ (replay one with: build/fuzz/fuzz/fuzz_X FILE).
#
#   scripts/fuzz.sh            20000 iterations (CI's budget; the tree target
#                              builds a tree per input, so it gets 1/20 of it)
#   scripts/fuzz.sh 2000000    a longer run, same proportions
#   scripts/fuzz.sh 600s       ten minutes for each target
#   FUZZ_TARGETS="tree cli" scripts/fuzz.sh 100000
set -euo pipefail
cd "$(dirname "$0")/.."

budget=${1:-20000}
targets=(${FUZZ_TARGETS:-vmstat size_text user_dirs json cli tree})
case "$budget" in
  *s) mode=time; amount=${budget%s} ;;
  *) mode=runs; amount=$budget ;;
esac
[[ "$amount" =~ ^[0-9]+$ ]] || { echo "usage: $0 [ITERATIONS|SECONDSs]" >&2; exit 2; }

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

bin=$PWD/build/fuzz/fuzz
work=$PWD/build/fuzz/runs  # absolute: fuzz_cli works in its own folder
mkdir -p "$work/artifacts"
# Each target's share of an iteration budget: what one input costs.
declare -A divisor=([vmstat]=1 [size_text]=1 [user_dirs]=1 [json]=1 [cli]=4 [tree]=20)
# The default limit on open files, as users have it.
ulimit -n 1024

summary=()
status=0
for t in "${targets[@]}"; do
  mkdir -p "$work/corpus/$t"
  args=(-artifact_prefix="$work/artifacts/$t-" -print_final_stats=1 -max_len=4096 -timeout=60)
  if [ "$mode" = time ]; then
    args+=(-max_total_time="$amount")
  else
    runs=$(( amount / ${divisor[$t]} ))
    args+=(-runs="$(( runs > 0 ? runs : 1 ))")
  fi
  [ -f "fuzz/$t.dict" ] && args+=(-dict="$PWD/fuzz/$t.dict")
  log="$work/$t.log"
  echo "== fuzz_$t"
  if "$bin/fuzz_$t" "${args[@]}" "$work/corpus/$t" "$PWD/fuzz/corpus/$t" >"$log" 2>&1; then
    result=ok
  else
    result=FAILED
    status=1
    grep -E 'check failed|ERROR|SUMMARY|Test unit written' -A3 "$log" | head -40 || true
  fi
  done_runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  seconds=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -1)
  summary+=("$(printf '%-10s %-6s %10s runs %5s s' "$t" "$result" "${done_runs:-?}" "${seconds:-?}")")
done

echo "== fuzz summary"
printf '%s\n' "${summary[@]}"
exit "$status"
