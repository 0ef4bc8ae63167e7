# Sourced by the desktop checks: waiting for something the desktop does in
# its own time (a socket appears, a window maps, a tray item registers).

# Up to 5 s for "$@" to succeed.
within_5s() {
  for _ in $(seq 50); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}
