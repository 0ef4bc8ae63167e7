#!/usr/bin/env bash
# Installs what is missing, builds the release configuration and starts
# Headroom. Without a display it says so and shows the figures on the
# terminal instead.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
if [ -x build/release/headroom ]; then
  exec build/release/headroom "$@"
fi
exec build/release/headroom-cli status
