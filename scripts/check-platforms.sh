#!/usr/bin/env bash
# Starts the tray application under X11 (Xvfb) and under Wayland (weston's
# headless backend, Qt's wayland platform) and lets it run a few seconds
# each. It must still be running when stopped: a crash or an early exit on
# either fails the check. The grant alert is up the whole time; nothing is
# clicked.
#
#   scripts/check-platforms.sh [PATH-TO-headroom]    default: build/ci/headroom
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh qt6-wayland weston xvfb >/dev/null

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

XDG_RUNTIME_DIR="$work" weston --backend=headless-backend.so --socket=wayland-hr \
  --no-config >"$work/weston.log" 2>&1 &
pids+=($!)
wait_for "$work/wayland-hr"
run_app wayland QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=wayland-hr DISPLAY= || status=1

exit "$status"
