#!/usr/bin/env bash
# Starts the tray application under X11 (Xvfb) and under Wayland (weston's
# headless backend, Qt's wayland platform) and lets it run a few seconds
# each. It must still be running when stopped: a crash or an early exit on
# either fails the check. The grant alert is up the whole time; nothing is
# clicked.
#
# Then, under X11 again, a tray that comes and goes (trayer, an xembed
# tray): the start-up dialogs are answered with no tray, trayer starts and
# the icon must dock within 5 s; the window is hidden (Ctrl+H), trayer is
# stopped and the window must come back within 5 s. Both are told by X11
# events; the fallback poll is far slower.
#
# Last, the tray on Wayland with a StatusNotifierItem host
# (scripts/check-wayland-tray.sh: sway and waybar).
#
#   scripts/check-platforms.sh [PATH-TO-headroom]    default: build/ci/headroom
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh qt6-wayland weston xvfb trayer xdotool x11-utils >/dev/null

app=$(realpath "${1:-build/ci/headroom}")
seconds=${HEADROOM_PLATFORM_SECONDS:-4}
work=$(mktemp -d)
chmod 700 "$work"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/home"

# Runs the application for $seconds; passes when timeout had to stop it.
run_app() {
  local name=$1
  shift
  local status=0
  env HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work" "$@" \
    timeout --signal=TERM "$seconds" "$app" >"$work/$name.log" 2>&1 || status=$?
  if [ "$status" -eq 124 ]; then
    echo "platforms: $name ok"
    return 0
  fi
  echo "platforms: $name FAILED (exit status $status)" >&2
  sed 's/^/  /' "$work/$name.log" >&2
  return 1
}

# Waits up to 10 s for a file (a socket) to appear.
wait_for() {
  for _ in $(seq 100); do
    [ -e "$1" ] && return 0
    sleep 0.1
  done
  echo "platforms: $1 did not appear" >&2
  return 1
}

status=0

display=:$((90 + RANDOM % 400))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
wait_for "/tmp/.X11-unix/X${display#:}"
run_app x11 QT_QPA_PLATFORM=xcb DISPLAY="$display" WAYLAND_DISPLAY= || status=1

. scripts/wait.sh
window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1; }
shown() { [ -n "$(window "$1")" ]; }
docked() { xwininfo -root -tree | sed -n '/"panel"/,/^     0x/p' | grep -q '("headroom" "Headroom")'; }
keys_to() { # TITLE KEYS...
  local id
  id=$(window "$1")
  shift
  [ -n "$id" ] && xdotool windowfocus --sync "$id" && xdotool "$@"
}
start_trayer() {
  trayer --edge top --align right --widthtype request --height 24 >"$work/trayer.log" 2>&1 &
  trayer_pid=$!
  pids+=("$trayer_pid")
}

tray_check() {
  local -x DISPLAY=$display QT_QPA_PLATFORM=xcb WAYLAND_DISPLAY= HOME="$work/home" \
    XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work" LC_ALL=C.UTF-8 LANGUAGE=
  "$app" >"$work/tray.log" 2>&1 &
  pids+=($!)
  within_5s shown Headroom && keys_to Headroom key Return || return 1
  within_5s shown "Find Directory" && keys_to "Find Directory" type --delay 5 "$HOME" || return 1
  xdotool key Return
  within_5s shown Headroom || { echo "no window without a tray"; return 1; }
  start_trayer
  within_5s docked || { echo "trayer started: the icon did not dock"; return 1; }
  keys_to Headroom key ctrl+h
  within_5s eval '! shown Headroom' || { echo "Ctrl+H did not hide the window"; return 1; }
  kill "$trayer_pid"
  within_5s shown Headroom || { echo "trayer stopped: the window did not come back"; return 1; }
}
if tray_check >"$work/tray-check.log" 2>&1; then
  echo "platforms: x11 tray coming and going ok"
else
  echo "platforms: x11 tray coming and going FAILED" >&2
  sed 's/^/  /' "$work/tray-check.log" "$work/tray.log" >&2
  status=1
fi

XDG_RUNTIME_DIR="$work" weston --backend=headless-backend.so --socket=wayland-hr \
  --no-config >"$work/weston.log" 2>&1 &
pids+=($!)
wait_for "$work/wayland-hr"
run_app wayland QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=wayland-hr DISPLAY= || status=1

if scripts/check-wayland-tray.sh "$app" >"$work/wayland-tray.log" 2>&1; then
  echo "platforms: wayland tray ok"
else
  echo "platforms: wayland tray FAILED" >&2
  sed 's/^/  /' "$work/wayland-tray.log" >&2
  status=1
fi

exit "$status"
