#!/usr/bin/env bash
# Builds the Debian package and checks it: the release configuration with
# /usr as prefix, `cpack -G DEB`, then lintian, desktop-file-validate and
# appstreamcli on what the package installs, and the installed programs:
# `headroom-cli status`, and `headroom` on Qt's offscreen platform, which
# must still be running after a few seconds.
#
# The package is unpacked into a staging folder and run from there. When
# run as root on a machine where no headroom package is installed yet, it is
# also installed with apt-get, run from /usr and purged again; set
# HEADROOM_PACKAGE_INSTALL=0 to skip that.
#
# Output: build/package/headroom_VERSION_ARCH.deb
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/setup-deps.sh dpkg-dev desktop-file-utils appstream lintian file

build=build/package
say() { printf '== package: %s\n' "$*"; }
fail() { printf 'package: %s\n' "$*" >&2; exit 1; }

# A distribution's build: hardened like Debian's own packages.
say "configure and build ($build)"
cmake --preset release -B "$build" \
  -DCMAKE_INSTALL_PREFIX=/usr \
  "-DCMAKE_CXX_FLAGS=-D_FORTIFY_SOURCE=2 -fstack-protector-strong -Wformat -Werror=format-security" \
  "-DCMAKE_EXE_LINKER_FLAGS=-Wl,-z,relro -Wl,-z,now" >/dev/null
cmake --build "$build" -j "$(nproc)"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || fail "cannot read the project version from $build/CMakeCache.txt"

# The hand-written texts name the version; they must follow the project's.
head -n 1 packaging/changelog | grep -q "^headroom ($version) " \
  || fail "packaging/changelog does not start with version $version"
for page in packaging/man/headroom.1 packaging/man/headroom-cli.1; do
  grep -q "^\.TH .* \"Headroom $version\"" "$page" || fail "$page does not name version $version in .TH"
done

say "cpack -G DEB"
rm -f "$build"/headroom_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/headroom_"$version"_*.deb)
deb=${debs[0]}
[ -f "$deb" ] || fail "cpack made no package"
dpkg-deb --info "$deb" | sed -n '/^ Package:/,$p'

stage=$(mktemp -d)
installed_here=no
cleanup() {
  rm -rf "$stage"
  if [ "$installed_here" = yes ]; then
    say "purging the installed package"
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq headroom >/dev/null || true
  fi
}
trap cleanup EXIT

say "unpack into a staging folder"
dpkg-deb -x "$deb" "$stage"

expect_file() { # PATH MODE
  [ -f "$stage$1" ] || fail "the package lacks $1"
  [ "$(stat -c %a "$stage$1")" = "$2" ] || fail "$1 has mode $(stat -c %a "$stage$1"), not $2"
}
expect_file /usr/bin/headroom 755
expect_file /usr/bin/headroom-cli 755
expect_file /usr/libexec/headroom/headroom-purge 755
expect_file /usr/share/applications/headroom.desktop 644
expect_file /usr/share/metainfo/org.headroom.Headroom.metainfo.xml 644
expect_file /usr/share/icons/hicolor/scalable/apps/headroom.svg 644
for size in 16 22 24 32 48 64 128 256; do
  png=/usr/share/icons/hicolor/${size}x${size}/apps/headroom.png
  expect_file "$png" 644
  file -b "$stage$png" | grep -q "PNG image data, $size x $size," || fail "$png is not a ${size}x${size} PNG"
done
expect_file /usr/share/man/man1/headroom.1.gz 644
expect_file /usr/share/man/man1/headroom-cli.1.gz 644
expect_file /usr/share/doc/headroom/copyright 644
expect_file /usr/share/doc/headroom/changelog.gz 644

# The polkit action: one action, for the helper alone, password kept briefly.
policy=$stage/usr/share/polkit-1/actions/org.headroom.purge.policy
expect_file /usr/share/polkit-1/actions/org.headroom.purge.policy 644
[ "$(grep -c '<action ' "$policy")" -eq 1 ] || fail "the polkit policy must hold exactly one action"
grep -q '<annotate key="org.freedesktop.policykit.exec.path">/usr/libexec/headroom/headroom-purge</annotate>' "$policy" \
  || fail "the polkit action does not name /usr/libexec/headroom/headroom-purge"
[ "$(grep -c '>auth_admin_keep<' "$policy")" -eq 3 ] || fail "the polkit action must ask auth_admin_keep for every kind of session"
helper_default=$(grep -o 'HEADROOM_PURGE_TOOL_DEFAULT=[^ ]*' "$build/compile_commands.json" | tr -d '\\"' | sort -u)
[ "$helper_default" = HEADROOM_PURGE_TOOL_DEFAULT=/usr/libexec/headroom/headroom-purge ] \
  || fail "the programs were not built to look for the helper in /usr/libexec/headroom ($helper_default)"

say "desktop-file-validate"
desktop-file-validate "$stage/usr/share/applications/headroom.desktop"
say "appstreamcli validate"
appstreamcli validate --no-net "$stage/usr/share/metainfo/org.headroom.Headroom.metainfo.xml"
appstreamcli validate-tree --no-net "$stage" >/dev/null
say "lintian"
# Errors fail the run; warnings and notes are shown.
lintian_status=0
lintian --display-info --color never --fail-on error "$deb" >"$stage.lintian" 2>&1 || lintian_status=$?
grep -v '^running with root privileges' "$stage.lintian" || true
rm -f "$stage.lintian"
[ "$lintian_status" -eq 0 ] || fail "lintian found errors in $deb"

# Runs the programs under PREFIX: headroom-cli status must print its three
# lines, and headroom must stay up on the offscreen platform until stopped.
run_programs() {
  local prefix=$1 lines status=0
  lines=$("$prefix/bin/headroom-cli" status)
  printf '%s\n' "$lines"
  [ "$(printf '%s\n' "$lines" | wc -l)" -eq 3 ] || fail "$prefix/bin/headroom-cli status did not print three lines"
  env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen \
    timeout 5 "$prefix/bin/headroom" >/dev/null 2>&1 || status=$?
  [ "$status" -eq 124 ] || fail "$prefix/bin/headroom ended with status $status within 5 s on the offscreen platform"
  echo "$prefix/bin/headroom: still running after 5 s on the offscreen platform"
}

say "run the staged programs"
run_programs "$stage/usr"

if [ "${HEADROOM_PACKAGE_INSTALL:-1}" != 0 ] && [ "$(id -u)" -eq 0 ] \
  && ! dpkg-query -W -f='${Status}' headroom 2>/dev/null | grep -q "ok installed"; then
  say "apt-get install $deb"
  installed_here=yes
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$root/$deb" >/dev/null
  dpkg-query -W -f='${Package} ${Version} ${Status}\n' headroom
  run_programs /usr
fi

say "ok: $deb"
