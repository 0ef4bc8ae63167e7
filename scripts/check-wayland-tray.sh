#!/usr/bin/env bash
# The tray on a Wayland desktop: sway (headless, software rendering) with
# waybar's tray module as the StatusNotifierItem host, on a private session
# bus, and Headroom on Qt's wayland platform with its icon installed in a
# private hicolor theme. The start-up dialogs are answered (wtype), then:
#
#   - the item offers its image at several sizes (IconPixmap), the 20 px
#     disk among them, and the theme name (IconName);
#   - its tooltip (ToolTip) holds the menu's disk line and memory lines,
#     in the format headroom-cli status prints them;
#   - the menu it exports shows no shortcut (they work only in the window);
#   - a left click (Activate) brings the window, floating at its own size,
#     and no window of the menu appears;
#   - a right click on waybar's icon (scripts/wayland-click.py) opens the
#     host's menu and no window of Headroom's.
#
# sway refuses to run as root, so as root the session runs as `nobody`.
#
#   scripts/check-wayland-tray.sh [PATH-TO-headroom] [--screenshots DIR]
#       default: build/ci/headroom (headroom-cli beside it); with
#       --screenshots, writes wayland-window.png (the panel and the window
#       a left click brought) and wayland-tray-menu.png (the host's menu
#       open) into DIR.
set -euo pipefail
here=$(dirname "$(realpath "$0")")
cd "$here/.."

if [ "${1:-}" = "--session" ]; then
  inside=1
  shift
else
  inside=0
  scripts/setup-deps.sh qt6-wayland sway waybar grim wtype dbus python3 >/dev/null
fi

app=$(realpath "${1:-build/ci/headroom}")
shots=""
if [ "${2:-}" = "--screenshots" ]; then shots=$(realpath "${3:?--screenshots needs a folder}"); fi

# Outside: a work folder the session's user owns, and the session itself.
if [ "$inside" -eq 0 ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  mkdir -p "$work/home" "$work/out" "$work/bin"
  # The programs and these scripts, where the session's user can run them
  # wherever the build tree is.
  cp "$app" "$(dirname "$app")/headroom-cli" scripts/check-wayland-tray.sh scripts/wait.sh scripts/wayland-click.py "$work/bin/"
  # The application's icon in a theme folder of its own, as the package
  # installs it.
  for size in 16 22 24 32 48 64; do
    mkdir -p "$work/share/icons/hicolor/${size}x${size}/apps"
    cp "packaging/icons/hicolor/${size}x${size}/headroom.png" "$work/share/icons/hicolor/${size}x${size}/apps/"
  done
  cp /usr/share/icons/hicolor/index.theme "$work/share/icons/hicolor/" 2>/dev/null || true
  run_as=()
  if [ "$(id -u)" -eq 0 ]; then
    chown -R nobody:nogroup "$work"
    run_as=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
  fi
  chmod 700 "$work"
  status=0
  # The session writes its screenshots into its own folder; they are copied
  # out so that DIR keeps its owner.
  "${run_as[@]}" env -i PATH=/usr/bin:/bin HOME="$work/home" WORK="$work" \
    timeout 90 dbus-run-session -- "$work/bin/check-wayland-tray.sh" --session "$work/bin/headroom" \
    ${shots:+--screenshots "$work/out"} || status=$?
  if [ -n "$shots" ]; then cp "$work/out/"*.png "$shots/" 2>/dev/null || true; fi
  exit "$status"
fi

# Inside the session, as the session's user.
export XDG_RUNTIME_DIR=$WORK XDG_CONFIG_HOME=$WORK/home/.config XDG_DATA_DIRS=$WORK/share:/usr/share
export WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 NO_AT_BRIDGE=1 GTK_A11Y=none
cat >"$WORK/sway.conf" <<EOF
output HEADLESS-1 resolution 800x500
default_border pixel 1
seat seat0 xcursor_theme default 16
exec waybar -c $WORK/waybar.json -s $WORK/waybar.css
EOF
echo '{"position": "top", "height": 26, "modules-right": ["clock", "tray"],
       "clock": {"format": "10:42"}, "tray": {"icon-size": 20, "spacing": 6}}' >"$WORK/waybar.json"
echo '* {font-family: sans-serif; font-size: 13px} window#waybar {background: #2b303b; color: #eee}
      #clock, #tray {padding: 0 8px}' >"$WORK/waybar.css"

sway -c "$WORK/sway.conf" >"$WORK/sway.log" 2>&1 &
pids=($!)
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

fail() {
  echo "wayland tray: $*" >&2
  if [ -n "$shots" ]; then grim "$shots/failed.png" || true; fi
  for log in sway app; do [ -s "$WORK/$log.log" ] && sed "s/^/  $log: /" "$WORK/$log.log" | tail -n 20 >&2; done
  exit 1
}
. "$here/wait.sh"

within_5s eval 'compgen -G "$WORK/sway-ipc.*" >/dev/null && compgen -G "$WORK/wayland-?" >/dev/null' ||
  fail "sway did not start"
SWAYSOCK=$(compgen -G "$WORK/sway-ipc.*" | head -n 1)
WAYLAND_DISPLAY=$(basename "$(compgen -G "$WORK/wayland-?" | head -n 1)")
export SWAYSOCK WAYLAND_DISPLAY
within_5s busctl --user status org.kde.StatusNotifierWatcher >/dev/null 2>&1 || fail "waybar's tray did not start"

QT_QPA_PLATFORM=wayland LC_ALL=C.UTF-8 LANGUAGE= "$app" >"$WORK/app.log" 2>&1 &
app_pid=$!
pids+=("$app_pid")

# The item, as "BUS-NAME/PATH" in the watcher's list.
registered() {
  busctl --user get-property org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
    org.kde.StatusNotifierWatcher RegisteredStatusNotifierItems | grep -o '"[^"]*"' | tr -d '"' | head -n 1
}
within_5s eval '[ -n "$(registered)" ]' || fail "no item registered with the watcher"
item=$(registered)
service=${item%%/*}
path=/${item#*/}
property() { busctl --user get-property --json=short "$service" "$path" org.kde.StatusNotifierItem "$1"; }

# Headroom's windows in sway's tree: "floating|tiled WIDTHxHEIGHT TITLE",
# one a line, with " (focused)" after the one that has the keyboard.
windows() {
  swaymsg -t get_tree | python3 -c '
import json, sys
pid = int(sys.argv[1])
def walk(node, floating):
    if node.get("pid") == pid:
        r = node["window_rect"]
        print("floating" if floating else "tiled", "%dx%d" % (r["width"], r["height"]), node.get("name"),
              "(focused)" if node.get("focused") else "")
    for child in node.get("nodes", []):
        walk(child, floating)
    for child in node.get("floating_nodes", []):
        walk(child, True)
walk(json.load(sys.stdin), False)' "$app_pid"
}
shown() { [ "$(windows | wc -l)" -eq "$1" ]; }
focused() { windows | grep -q " $1 (focused)\$"; }

# The start-up dialogs: the grant alert, then the folder chooser, which
# starts at home.
within_5s focused Headroom || fail "the grant alert did not come: $(windows)"
# The keyboard may reach the client a moment after sway focuses it: Return
# again until the chooser comes.
answer_alert() { wtype -k Return && sleep 0.5 && focused "Find Directory"; }
within_5s answer_alert || fail "the folder chooser did not come: $(windows)"
# Confirming the folder it shows, home.
answer_chooser() { wtype -k Return && sleep 0.5 && shown 0; }
within_5s answer_chooser || fail "the start-up dialogs did not go: $(windows)"

# The image: several sizes, 20 px among them, and the theme's name.
sizes=$(property IconPixmap | python3 -c '
import json, sys
print(" ".join(sorted({"%dx%d" % (w, h) for w, h, _ in json.load(sys.stdin)["data"]}, key=lambda s: int(s.split("x")[0]))))')
echo "wayland tray: IconPixmap sizes $sizes"
case " $sizes " in *" 20x20 "*" 64x64 "*) ;; *) fail "IconPixmap offers $sizes, not 20 px to 64 px" ;; esac
[ "$(wc -w <<<"$sizes")" -ge 6 ] || fail "IconPixmap offers only $sizes"
name=$(property IconName | python3 -c 'import json, sys; print(json.load(sys.stdin)["data"])')
echo "wayland tray: IconName $name"
[ "$name" = headroom ] || fail "IconName is '$name', not headroom"

# The tooltip: the menu's three summary lines, which read like
# headroom-cli status's with other figures.
tip=$(property ToolTip | python3 -c 'import json, sys; print(json.load(sys.stdin)["data"][2])')
printf 'wayland tray: ToolTip %s\n' "${tip//$'\n'/ | }"
shape() { sed -E 's/[0-9]+(\.[0-9]+)?/N/g; s/ (Bytes|KB|MB|GB|TB)/ U/g'; }
expected=$(LC_ALL=C.UTF-8 LANGUAGE= "$(dirname "$app")/headroom-cli" status | shape)
[ "$(shape <<<"$tip")" = "$expected" ] || fail "the tooltip is not the summary: $(shape <<<"$tip") against $expected"

# The exported menu: its items, no shortcut shown.
menu=$(busctl --user call --json=short -- "$service" /MenuBar com.canonical.dbusmenu GetLayout iias 0 -1 0)
grep -q '"Quit Headroom"' <<<"$menu" || fail "the exported menu has no Quit item"
! grep -q '"shortcut"' <<<"$menu" || fail "the exported menu shows shortcuts"

# A left click: the window, floating at its own size; no menu window.
busctl --user call "$service" "$path" org.kde.StatusNotifierItem Activate ii 0 0
within_5s shown 1 || fail "a left click brought no window: $(windows)"
sleep 0.5
echo "wayland tray: after a left click: $(windows)"
windows | grep -q '^floating 380x[0-9]* Headroom ' || fail "the window is not floating at its own size: $(windows)"
shown 1 || fail "a left click brought more than the window: $(windows)"
if [ -n "$shots" ]; then grim "$shots/wayland-window.png"; fi


# A right click on waybar's icon, at the bar's right end: the host's own
# rendering of the menu, no window of Headroom's. (The screenshot is taken
# while it is open.)
"$here/wayland-click.py" 780 13 800 500 273 &
clicker=$!
sleep 1.5
if [ -n "$shots" ]; then grim "$shots/wayland-tray-menu.png"; fi
wait "$clicker" || fail "no right click: the compositor offers no virtual pointer"
shown 1 || fail "a right click on the panel's icon made a window of Headroom's: $(windows)"
echo "wayland tray: ok"
