#!/usr/bin/env bash
# Builds the Debian package and checks it: the release configuration with
# /usr as prefix, `cpack -G DEB`, then lintian, desktop-file-validate and
# appstreamcli on what the package installs, and the installed programs:
# `headroom-cli status`, and `headroom` on Qt's offscreen platform, which
# must still be running after a few seconds.
#
# The package is unpacked into a staging folder and run from there. When
# run as root on a machine where no headroom package is installed yet, it is
# also installed with apt-get, run from /usr (a memory release included,
# through a stand-in pkexec: see check_release) and purged again; set
# HEADROOM_PACKAGE_INSTALL=0 to skip that.
#
# Output: build/package/headroom_VERSION_ARCH.deb
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/setup-deps.sh dpkg-dev desktop-file-utils appstream lintian file strace

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
release_work=
installed_here=no
cleanup() {
  rm -rf "$stage" ${release_work:+"$release_work"}
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

# The installed memory release, elevation included. headroom-cli release
# runs as nobody, so that the helper asks pkexec for root. The pkexec it
# finds first on PATH is a stand-in: it records its words, asks this
# script's root side through a FIFO to run the program as pkexec would (as
# root, in a clean environment, and only the program the package's polkit
# action names), and passes the status on. Unlike pkexec, the root side
# sets no PKEXEC_UID and passes HEADROOM_DROP_CACHES_PATH, so the helper
# writes to a file here instead of /proc/sys/vm/drop_caches (read-only in
# containers), and runs it under strace to see sync come before the write.
check_release() {
  local helper=/usr/libexec/headroom/headroom-purge action=org.headroom.purge # as the man pages name them
  local policy=/usr/share/polkit-1/actions/$action.policy
  local work exec_path broker out status=0 given opened fd synced wrote size i
  local -a lines
  release_work=$(mktemp -d)
  work=$release_work
  chmod 0755 "$work"
  mkdir "$work/bin"
  : >"$work/drop_caches"
  : >"$work/args"
  mkfifo "$work/ask" "$work/answer"
  chown 65534:65534 "$work/args" "$work/ask" "$work/answer"
  cat >"$work/bin/pkexec" <<EOF
#!/bin/sh
# Stand-in pkexec: records its words, one a line, has the root side of
# scripts/package.sh run the program, and passes its status on.
printf '%s\n' "\$@" >"$work/args"
printf '%s\n' "\$1" >"$work/ask"
read -r status <"$work/answer"
exit "\$status"
EOF
  chmod 0755 "$work/bin/pkexec"

  exec_path=$(sed -n 's:.*<annotate key="org.freedesktop.policykit.exec.path">\(.*\)</annotate>.*:\1:p' "$policy")
  (
    read -r program <"$work/ask"
    answer=127 # as pkexec answers when it may not run the program
    if [ "$program" = "$exec_path" ]; then
      answer=0
      env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HEADROOM_DROP_CACHES_PATH="$work/drop_caches" \
        strace -f -qq -o "$work/trace" -e trace=sync,syncfs,openat,write -- "$program" 2>"$work/helper.err" \
        || answer=$?
    fi
    echo "$answer" >"$work/answer"
  ) &
  broker=$!
  out=$(cd / && timeout 60 setpriv --reuid=65534 --regid=65534 --clear-groups \
    env -i PATH="$work/bin:/usr/bin:/bin" LANG=C /usr/bin/headroom-cli release 2>"$work/cli.err") || status=$?
  kill "$broker" 2>/dev/null || true
  wait "$broker" 2>/dev/null || true
  printf '%s\n' "$out"

  # pkexec was asked to run the installed helper, root's own, with nothing
  # else, and the package's one polkit action names that very program.
  [ -s "$work/args" ] || fail "headroom-cli release never ran pkexec (status $status: $(head -n 1 "$work/cli.err"))"
  given=$(cat "$work/args")
  [ "$given" = "$helper" ] || fail "pkexec was given '$(paste -sd ' ' "$work/args")', not just $helper"
  [ "$(stat -c '%U:%G %a' "$helper")" = "root:root 755" ] \
    || fail "$helper is $(stat -c '%U:%G %a' "$helper"), not root:root 755"
  [ "$(grep -o '<action id="[^"]*"' "$policy")" = "<action id=\"$action\"" ] \
    || fail "$policy does not hold the one action $action"
  [ "$exec_path" = "$given" ] || fail "the polkit action's exec.path is '$exec_path', not $given that pkexec was given"
  [ "$status" -eq 0 ] && [ ! -s "$work/cli.err" ] && [ ! -s "$work/helper.err" ] \
    || fail "headroom-cli release ended with status $status: $(cat "$work/cli.err" "$work/helper.err")"

  # Exactly "3\n" written, to the stand-in only, after a sync.
  cmp -s "$work/drop_caches" <(printf '3\n') \
    || fail "the helper left '$(od -An -c "$work/drop_caches" | tr -s ' \n' ' ' | sed 's/^ //; s/ $//')' in drop_caches, not '3 \\n'"
  ! grep -q -F /proc/sys/vm/drop_caches "$work/trace" || fail "the helper opened /proc/sys/vm/drop_caches"
  opened=$(grep -n -m 1 -F "openat(AT_FDCWD, \"$work/drop_caches\"" "$work/trace") \
    || fail "the helper under strace never opened $work/drop_caches"
  fd=${opened##*= }
  synced=$(grep -n -m 1 -E '^[0-9]+ +(sync\(\)|syncfs\()' "$work/trace" | cut -d: -f1) || true
  wrote=$(grep -n -m 1 -E '^[0-9]+ +write\('"$fd"', "3\\n", 2\) += 2$' "$work/trace" | cut -d: -f1) || true
  [ -n "$synced" ] && [ "$synced" -lt "${opened%%:*}" ] || fail "the helper did not sync before it opened drop_caches"
  [ -n "$wrote" ] && [ "$wrote" -gt "${opened%%:*}" ] || fail "the helper did not write 3\\n to drop_caches ($opened)"

  # The two memory lines before the helper ran and again after it.
  size='[0-9]+(\.[0-9]{1,2})? (GB|MB|KB|Bytes)'
  mapfile -t lines <<<"$out"
  [ "${#lines[@]}" -eq 4 ] || fail "headroom-cli release printed ${#lines[@]} lines, not 4"
  for i in 0 1 2 3; do
    if [ $((i % 2)) -eq 0 ]; then
      [[ ${lines[i]} =~ ^Free\ $size\ \ Wired\ $size$ ]] || fail "headroom-cli release line $((i + 1)): ${lines[i]}"
    else
      [[ ${lines[i]} =~ ^Active\ $size\ \ Inactive\ $size$ ]] || fail "headroom-cli release line $((i + 1)): ${lines[i]}"
    fi
  done
  echo "/usr/bin/headroom-cli release: pkexec ran $helper as root; it synced, then wrote 3\\n"
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
  say "release memory through a stand-in pkexec"
  check_release
else
  say "NOT TESTED: the installed release (needs root and no headroom package installed beforehand)"
fi

say "ok: $deb"
