#!/usr/bin/env bash
# Takes docs/screenshot.png: the main window with a few hosts, one of them
# picked, under a virtual X server in a private network namespace (needs
# root for the namespace; nothing is sent).
#   scripts/screenshot.sh [build directory]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
nuvik=$(realpath "$build/nuvik")
out=$(realpath docs)/screenshot.png
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/.config/nuvik"
printf '[list]\r\n0=nas 10.0.0.2 001122334455\r\n1=Alpha 192.168.0.7 00A0C9FFEE1D\r\n2=printer 192.168.0.20 0800271A2B3C\r\n' \
  >"$home/.config/nuvik/nuvik.INI"

env -u XDG_CONFIG_HOME -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$home" NUVIK="$nuvik" OUT="$out" \
  unshare -n xvfb-run -a -s "-screen 0 800x600x24 -nolisten tcp" bash -c '
    ip link set lo up
    "$NUVIK" & pid=$!
    wid=$(timeout 30 xdotool search --sync --onlyvisible --name "NUVIK 1.0.3" | head -n 1)
    xdotool windowfocus --sync "$wid"
    xdotool key Down
    sleep 0.5
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$OUT"
    xdotool key Escape
    wait $pid'
echo "wrote $out"
