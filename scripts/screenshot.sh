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

# docs/hosts.png: the hosts window on a small network of namespaces: two
# hosts up, one woken, one down, and one a scan found that the book lacks.
hosts_out=$(realpath docs)/hosts.png
printf '[list]\r\n0=nas 10.66.0.11 020000000011\r\n1=pc2 10.66.0.12 02:00:00:00:00:12\r\n2=printer 10.66.0.20 0800271A2B3C\r\n3=media 10.66.0.14 020000000014\r\n' \
  >"$home/.config/nuvik/nuvik.INI"
ns=nuvik-shot-$$
cleanup() { for n in "$ns" "$ns-1" "$ns-3" "$ns-4"; do ip netns del "$n" 2>/dev/null || true; done; rm -rf "$home"; }
trap cleanup EXIT
ip netns add "$ns"
ip -n "$ns" link set lo up
ip -n "$ns" link add br0 type bridge
ip -n "$ns" addr add 10.66.0.1/24 dev br0
ip -n "$ns" link set br0 up
for h in 1 3 4; do
  ip netns add "$ns-$h"
  ip -n "$ns" link add "v$h" type veth peer name eth0 netns "$ns-$h"
  ip -n "$ns" link set "v$h" master br0 up
  ip -n "$ns-$h" link set eth0 address "02:00:00:00:00:1$h"
  ip -n "$ns-$h" addr add "10.66.0.1$h/24" dev eth0
  ip -n "$ns-$h" link set eth0 up
done
env -u XDG_CONFIG_HOME -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$home" NUVIK="$nuvik" OUT="$hosts_out" \
  ip netns exec "$ns" xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp -noreset" bash -c '
    "$NUVIK" --hosts & pid=$!
    wid=$(timeout 30 xdotool search --sync --onlyvisible --name "Hosts" | head -n 1)
    xdotool windowfocus --sync "$wid"
    sleep 2
    xdotool key F5 Down Return
    sleep 6
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$OUT"
    xdotool key ctrl+w
    wait $pid'
echo "wrote $hosts_out"
