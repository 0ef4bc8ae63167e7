#!/usr/bin/env bash
# Installs what building and testing Headroom needs on Debian or Ubuntu,
# skipping whatever is already there. Uses sudo when not run as root.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools libgl-dev
  libxcb1-dev libxcb-xfixes0-dev
  liburing-dev
  googletest libgtest-dev libgmock-dev
  # fonts-wqy-microhei: Chinese and Japanese glyphs, so that the tables'
  # test measures the window in those languages with their real widths.
  locales fonts-dejavu-core fonts-wqy-microhei
  clang libclang-rt-14-dev clang-tidy clang-format cppcheck
  # bindfs: a FUSE mount at and above a junk row, for the clean's mount
  # tests (run as root; skipped without it).
  bindfs
)
packages+=("$@")

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# de_DE: a comma-decimal locale, so the tests can prove that size texts keep
# "." whatever the user's locale. fr_FR: to run the application in French
# (its screenshots in docs/).
for name in de_DE fr_FR; do
  if ! locale -a 2>/dev/null | grep -qi "^$name\.utf-\?8$"; then
    echo "setup: generating the $name.UTF-8 locale"
    as_root localedef -i "$name" -f UTF-8 "$name.UTF-8"
  fi
done
