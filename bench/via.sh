#!/usr/bin/env bash
# A wake through --via against `ssh HOST true` over the same kept connection
# (ControlMaster, ControlPersist): sshd on loopback inside a private network
# and mount namespace, the remote nuvik the build's, its broadcast sent into a
# veth pair that leads nowhere. Prints the medians and their ratio, beside
# the same wake typed as an ssh command (what the other side costs).
# Needs root, sshd (openssh-server) and hyperfine. Usage: bench/via.sh [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
[ -x "$build/nuvik" ] || { echo "build nuvik first ($build/nuvik)" >&2; exit 1; }
for tool in hyperfine /usr/sbin/sshd ssh-keygen; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: apt-get install hyperfine openssh-server" >&2; exit 1; }
done

exec unshare -n -m bash -s "$build" <<'INNER'
set -euo pipefail
build=$1
tmp=$(mktemp -d)
trap 'kill $(cat "$tmp/sshd.pid" 2>/dev/null) 2>/dev/null; rm -rf "$tmp"' EXIT
mount --make-rprivate /
ip link set lo up
ip link add d0 type veth peer name d1
ip link set d1 up
ip addr add 10.99.0.1/24 dev d0
ip link set d0 up
ip route add default dev d0
# ssh finds ~/.ssh through the password database: root's home is $tmp here.
mkdir -p "$tmp/.ssh" /run/sshd
{ echo "root:x:0:0::$tmp:/bin/sh"; grep -v '^root:' /etc/passwd; } >"$tmp/passwd"
mount --bind "$tmp/passwd" /etc/passwd
ssh-keygen -q -t ed25519 -N '' -f "$tmp/hostkey"
ssh-keygen -q -t ed25519 -N '' -f "$tmp/.ssh/id_ed25519"
cat >"$tmp/sshd_config" <<EOF
ListenAddress 127.0.0.1:22
HostKey $tmp/hostkey
AuthorizedKeysFile $tmp/.ssh/id_ed25519.pub
PidFile $tmp/sshd.pid
UsePAM no
StrictModes no
SetEnv PATH=$build:/usr/bin:/bin
EOF
cat >"$tmp/.ssh/config" <<EOF
Host link
  HostName 127.0.0.1
  UserKnownHostsFile $tmp/.ssh/known_hosts
  ControlMaster auto
  ControlPath $tmp/cm-%C
  ControlPersist 5m
EOF
echo "127.0.0.1 $(cat "$tmp/hostkey.pub")" >"$tmp/.ssh/known_hosts"
/usr/sbin/sshd -f "$tmp/sshd_config"
for _ in $(seq 50); do ssh -n -o BatchMode=yes link true 2>/dev/null && break; sleep 0.1; done
"$build/nuvik" --via link 001122334455 </dev/null
out=$tmp/hyperfine.json
hyperfine -N --warmup 20 --runs 200 --export-json "$out" "ssh -n link true" \
  "ssh -n link nuvik 001122334455" "$build/nuvik --via link 001122334455" >/dev/null
ssh -n -O exit link 2>/dev/null || true
python3 - "$out" <<'PY'
import json, sys
ssh, by_hand, via = json.load(open(sys.argv[1]))["results"]
ms = lambda r: r["median"] * 1e3
for r in (ssh, by_hand, via):
    print("%s: median %.2f ms, min %.2f ms over %d runs"
          % (r["command"].split("/")[-1], ms(r), r["min"] * 1e3, len(r["times"])))
print("ratio to ssh link true (target <= 1.5): %.2f; the same wake typed as an ssh command: %.2f"
      % (ms(via) / ms(ssh), ms(by_hand) / ms(ssh)))
PY
INNER
