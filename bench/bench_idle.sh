#!/usr/bin/env bash
# What Headroom costs while it sits in the tray, against a bare Qt 6 tray
# program (bench/bare_tray.cpp: an icon, a small menu, an information box at
# start) built in the same run with the same compiler, flags and build type.
# Both run under Xvfb on a private display, with trayer as the system tray
# and a private session bus, one after the other:
#   start-up  exec to the first dialog mapped (X11 MapNotify, seen by xev),
#             median of RUNS starts each, alternating which goes first;
#   idle      after answering the start-up dialogs (Headroom: Return on the
#             alert, then a folder typed into the chooser) and SETTLE
#             seconds, over IDLE seconds: wake-ups (voluntary + involuntary
#             context switches of every thread), CPU time, and at the end
#             RSS and PSS.
# Prints a table with both programs and the ratios Headroom / bare.
#
# usage: bench/bench_idle.sh [--idle SECONDS] [--runs N] [--settle SECONDS]
#                             [--headroom PATH] [BUILD_DIR]
#   --idle 60      idle window (report figures from 60 s runs)
#   --runs 5       start-ups per program
#   --settle 5     wait after the dialogs before the idle window
#   --headroom     measure this headroom binary (an older build, say)
#                  instead of BUILD_DIR's
#   BUILD_DIR      default build/release (configured with the release preset
#                  when missing); headroom and bench_bare_tray are built there
set -euo pipefail
cd "$(dirname "$0")/.."
# "." in $EPOCHREALTIME, and the dialogs' English titles.
export LC_ALL=C.UTF-8 LANGUAGE=

idle=60 runs=5 settle=5 build=build/release headroom=""
while [ "$#" -gt 0 ]; do
  case $1 in
    --idle) idle=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --settle) settle=$2; shift 2 ;;
    --headroom) headroom=$(realpath "$2"); shift 2 ;;
    -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    -*) echo "bench: unknown option $1" >&2; exit 2 ;;
    *) build=$1; shift ;;
  esac
done

scripts/setup-deps.sh xvfb trayer xdotool x11-utils dbus-daemon >/dev/null

say() { printf 'bench: %s\n' "$*" >&2; }
fail() { say "$*"; exit 1; }

if [ ! -f "$build/CMakeCache.txt" ]; then
  [ "$build" = build/release ] || fail "$build is not a configured build tree"
  launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  cmake --preset release "${launcher[@]}" >/dev/null
fi
say "building headroom and bench_bare_tray in $build"
if ! log=$(cmake --build "$build" --target headroom bench_bare_tray -j "$(nproc)" 2>&1); then
  printf '%s\n' "$log" >&2
  fail "the build failed"
fi
headroom=${headroom:-$(realpath "$build/headroom")}
bare=$(realpath "$build/bench_bare_tray")
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build/CMakeCache.txt")

# --- session: display, tray, bus --------------------------------------------
work=$(mktemp -d)
chmod 700 "$work"
mkdir -p "$work/home/.config" "$work/run"
chmod 700 "$work/run"
pids=()       # what we started and stop at the end, by process ID
app=""        # the program under measurement
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf --one-file-system -- "$work"
}
trap cleanup EXIT

display=""
for _ in $(seq 20); do
  n=$((300 + RANDOM % 500))
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=:$n; break; }
done
[ -n "$display" ] || fail "no free display number"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
export DISPLAY=$display HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/run
unset WAYLAND_DISPLAY SESSION_MANAGER
export QT_QPA_PLATFORM=xcb

dbus-daemon --session --fork --address="unix:path=$work/run/bus" --print-pid=3 3>"$work/bus.pid" >/dev/null
pids+=("$(cat "$work/bus.pid")")
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/run/bus

trayer --edge top --align right --widthtype request --height 24 --transparent false >"$work/trayer.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do xdotool search --name '^panel$' >/dev/null 2>&1 && break; sleep 0.1; done

now_ms() { local t=$EPOCHREALTIME; echo $((${t%.*} * 1000 + 10#${t#*.} / 1000)); }

# Waits up to 20 s for a visible window titled exactly TITLE; prints its ID.
wait_window() {
  local id
  for _ in $(seq 400); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1) || true
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.05
  done
  fail "no window titled '$1' appeared"
}

# Starts PROGRAM and sets $startup_ms to the milliseconds from its exec to
# the mapping of a top-level window titled TITLE. The program is left
# running as $app.
start_timed() { # PROGRAM TITLE
  local maps=$work/maps.txt fifo=$work/xev.fifo xev line pending="" t0 t id name
  rm -f "$maps" "$fifo"
  mkfifo "$fifo"
  stdbuf -oL xev -root -event substructure >"$fifo" 2>/dev/null &
  xev=$!
  # xev prints a MapNotify on two lines; the second names the window.
  while IFS= read -r line; do
    case $line in
      MapNotify*) pending=1 ;;
      *"window 0x"*)
        if [ -n "$pending" ]; then
          printf '%s %s\n' "$(now_ms)" "${line##*window }" | sed 's/,.*//' >>"$maps"
          pending=""
        fi ;;
    esac
  done <"$fifo" &
  local reader=$!
  sleep 0.3 # xev has selected its events
  t0=$(now_ms)
  "$1" >>"$work/app.log" 2>&1 &
  app=$!
  for _ in $(seq 400); do
    if [ -s "$maps" ]; then
      while read -r t id; do
        name=$(xdotool getwindowname "$((id))" 2>/dev/null) || continue
        if [ "$name" = "$2" ]; then
          kill "$xev" 2>/dev/null; wait "$xev" "$reader" 2>/dev/null || true
          startup_ms=$((t - t0))
          return 0
        fi
      done <"$maps"
    fi
    sleep 0.05
  done
  fail "$1: no window titled '$2' was mapped"
}

stop_app() {
  kill "$app" 2>/dev/null || true
  wait "$app" 2>/dev/null || true
  app=""
}

focus_and() { # WINDOW-ID KEYS...: focuses the window, then types
  local id=$1
  shift
  xdotool windowfocus --sync "$id"
  "$@"
}

# The start-up dialogs: a box to dismiss; Headroom then asks for a folder.
answer_dialogs() { # TITLE
  focus_and "$(wait_window "$1")" xdotool key Return
  if [ "$1" = Headroom ]; then
    local chooser
    chooser=$(wait_window "Find Directory")
    focus_and "$chooser" xdotool type --delay 5 "$HOME"
    xdotool key Return
  fi
  for _ in $(seq 200); do
    xdotool search --onlyvisible --name '.' 2>/dev/null | grep -qv "^$(xdotool search --name '^panel$' | head -n 1)\$" || return 0
    sleep 0.05
  done
  fail "$1: a window is still open after the start-up dialogs"
}

# Per thread: TID VOLUNTARY INVOLUNTARY ON-CPU-NS
threads() {
  local task
  for task in /proc/"$1"/task/*; do
    printf '%s %s %s\n' "${task##*/}" \
      "$(awk '/^voluntary_ctxt_switches/ {v = $2} /^nonvoluntary_ctxt_switches/ {n = $2} END {print v, n}' "$task/status")" \
      "$(cut -d' ' -f1 "$task/schedstat")"
  done
}
cpu_ticks() { # utime + stime of the whole process, from /proc/PID/stat
  sed 's/.*) //' "/proc/$1/stat" | awk '{print $12 + $13}'
}

declare -A result
measure() { # KEY PROGRAM TITLE
  local key=$1 program=$2 title=$3 pid
  say "$key: idle run (settle ${settle} s, idle ${idle} s)"
  start_timed "$program" "$title"
  pid=$app
  answer_dialogs "$title"
  xwininfo -root -tree | sed -n '/"panel"/,/^     0x/p' | grep -q "(\"$(basename "$program")\"" \
    || say "$key: no icon of it in the tray"
  sleep "$settle"
  threads "$pid" >"$work/before"
  local ticks0 ticks1
  ticks0=$(cpu_ticks "$pid")
  # perf, where it works, counts the threads that end in the window too.
  if ! perf stat -x, -o "$work/perf" -e context-switches -p "$pid" -- sleep "$idle" 2>/dev/null; then
    rm -f "$work/perf"
    sleep "$idle"
  fi
  ticks1=$(cpu_ticks "$pid")
  threads "$pid" >"$work/after"
  result[$key.rss]=$(awk '/^VmRSS/ {print $2}' "/proc/$pid/status")
  result[$key.pss]=$(awk '/^Pss:/ {print $2}' "/proc/$pid/smaps_rollup")
  result[$key.names]=$(for t in /proc/"$pid"/task/*; do cat "$t/comm"; done | sort | uniq -c |
    awk '{n = $1; sub(/^ *[0-9]+ /, ""); printf "%s%s%s", sep, $0, (n > 1 ? " ×" n : ""); sep = ", "}')
  # Threads present at both samples count their difference; a thread born
  # in the window counts whole; one that ended in the window is reported.
  local vol wake oncpu count ended
  read -r vol wake oncpu count ended < <(
    awk 'NR == FNR {v[$1] = $2; n[$1] = $3; c[$1] = $4; next}
         {dv += $2 - v[$1]; dn += $3 - n[$1]; dc += $4 - c[$1]; seen[$1] = 1; threads++}
         END {for (t in v) if (!(t in seen)) ended++; print dv, dv + dn, dc, threads, ended + 0}' \
      "$work/before" "$work/after")
  result[$key.vol]=$vol result[$key.wake]=$wake result[$key.oncpu]=$oncpu
  result[$key.threads]=$count result[$key.ended]=$ended
  result[$key.perf]=$( [ -f "$work/perf" ] && awk -F, '/context-switches/ {print $1}' "$work/perf" || echo "–")
  result[$key.cpu]=$(( (ticks1 - ticks0) * 1000 / $(getconf CLK_TCK) ))
  stop_app
}

# --- start-up ------------------------------------------------------------------
say "start-up: $runs runs each, alternating"
hr_times=() bare_times=()
for ((i = 1; i <= runs; i++)); do
  if ((i % 2)); then order=(hr bare); else order=(bare hr); fi
  for who in "${order[@]}"; do
    if [ "$who" = hr ]; then
      start_timed "$headroom" Headroom
      hr_times+=("$startup_ms")
    else
      start_timed "$bare" "bare tray"
      bare_times+=("$startup_ms")
    fi
    stop_app
  done
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
result[hr.start]=$(median "${hr_times[@]}")
result[bare.start]=$(median "${bare_times[@]}")

# --- idle ------------------------------------------------------------------------
measure hr "$headroom" Headroom
measure bare "$bare" "bare tray"

# --- report ----------------------------------------------------------------------
ratio() {
  awk -v a="$1" -v b="$2" 'BEGIN {
    if (a !~ /^[0-9.]+$/ || b !~ /^[0-9.]+$/) print "–"
    else if (b == 0) print (a == 0 ? "1.00 (both 0)" : "– (bare 0)")
    else printf "%.2f\n", a / b}'
}
# Whether Headroom's figure is at most FACTOR times the bare one, or at most
# SLACK above it (one wake-up or one clock tick in a minute is noise).
goal() { # LABEL KEY FACTOR SLACK
  awk -v a="${result[hr.$2]}" -v b="${result[bare.$2]}" -v f="$3" -v s="$4" -v l="$1" 'BEGIN {
    if (a !~ /^[0-9.]+$/) { printf "goal %s: not measured\n", l; exit }
    printf "goal %s: %s\n", l, (a <= b * f || a - b <= s) ? "met" : "MISSED"}'
}
row() { # LABEL UNIT KEY
  printf '| %s | %s %s | %s %s | %s |\n' "$1" "${result[hr.$3]}" "$2" "${result[bare.$3]}" "$2" "$(ratio "${result[hr.$3]}" "${result[bare.$3]}")"
}
mb() { awk -v k="$1" 'BEGIN {printf "%.1f", k / 1024}'; }
for who in hr bare; do
  result[$who.rssmb]=$(mb "${result[$who.rss]}")
  result[$who.pssmb]=$(mb "${result[$who.pss]}")
  result[$who.oncpums]=$(awk -v ns="${result[$who.oncpu]}" 'BEGIN {printf "%.2f", ns / 1e6}')
done

echo
echo "$(date -u +%F) on $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //') ($(nproc) cores), kernel $(uname -r), Qt $(dpkg-query -W -f='${Version}' libqt6core6 2>/dev/null || echo ?), $build_type build"
echo "Xvfb $display, trayer, private session bus; start-up: median of $runs; idle: ${idle} s after ${settle} s"
echo
echo "| | Headroom | bare Qt tray | Headroom / bare |"
echo "|---|---|---|---|"
row "start-up to first dialog" ms start
row "wake-ups in ${idle} s (all threads)" "" wake
row "of which voluntary" "" vol
row "context switches (perf stat)" "" perf
row "CPU time (utime+stime)" ms cpu
row "on CPU (schedstat)" ms oncpums
row "RSS at end" MB rssmb
row "PSS at end" MB pssmb
row "threads" "" threads
echo
for who in hr bare; do
  ended=""
  [ "${result[$who.ended]}" -gt 0 ] && ended=" (and ${result[$who.ended]} that ended in the window, not counted)"
  printf '%s threads at the end: %s%s\n' "$([ $who = hr ] && echo Headroom || echo bare)" "${result[$who.names]}" "$ended"
done
echo "start-up runs (ms): Headroom ${hr_times[*]}; bare ${bare_times[*]}"
echo
goal "start-up at most 2x the bare program's" start 2 0
goal "wake-ups within 10 % (or 1) of the bare program's" wake 1.1 1
# utime+stime move in 10 ms ticks and are charged by sampling: the on-CPU
# time of schedstat (nanoseconds) is the one compared.
goal "CPU time within 10 % (or 0.5 ms a minute) of the bare program's" oncpums 1.1 "$(awk -v i="$idle" 'BEGIN {print 0.5 * i / 60}')"
goal "RSS at most 1.5x the bare program's" rss 1.5 0
