"""Private network namespaces for the end-to-end tests: everything the program
sends stays in namespaces made here. Needs root: without it the tests skip,
except in CI (CI set), where they fail."""
import ctypes
import os
import shutil
import socket
import subprocess
import tempfile
import unittest
import uuid

NOBODY = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
_libc = ctypes.CDLL(None, use_errno=True)
CLONE_NEWNET = 0x40000000


def require(test, *tools):
    """Skips (or fails in CI) unless root can make namespaces and the tools are there."""
    missing = [t for t in ("ip", "unshare") + tools if shutil.which(t) is None]
    if os.geteuid() != 0 or missing or subprocess.run(["unshare", "-n", "true"]).returncode:
        reason = "needs root, network namespaces and: " + " ".join(missing)
        if os.environ.get("CI"):
            test.fail(reason)
        raise unittest.SkipTest(reason)
    for var in ("NUVIK_BIN", "NUVIK_BUILD_DIR"):
        if not os.environ.get(var):
            raise unittest.SkipTest(var + " is not set (run through ctest)")
    return os.environ["NUVIK_BIN"], os.environ["NUVIK_BUILD_DIR"]


def run(*args, check=True, **kw):
    result = subprocess.run(
        args, capture_output=True, text=True, timeout=kw.pop("timeout", 120), **kw
    )
    if check and result.returncode:
        raise RuntimeError("%s: exit %d: %s" % (" ".join(args), result.returncode, result.stderr))
    return result


def tempdir(test, prefix):
    """A fresh directory, removed with all it holds when the test ends."""
    path = tempfile.mkdtemp(prefix=prefix)
    test.addCleanup(shutil.rmtree, path)
    return path


def packet(mac):
    return "ff" * 6 + mac.lower() * 16


class Namespace:
    def __init__(self, test, etc=None):
        self.name = "nuvik-" + uuid.uuid4().hex[:8]
        run("ip", "netns", "add", self.name)
        test.addCleanup(run, "ip", "netns", "delete", self.name)
        for name, text in (etc or {}).items():  # bound over /etc/<name> by ip netns exec
            os.makedirs("/etc/netns/" + self.name, exist_ok=True)
            test.addCleanup(shutil.rmtree, "/etc/netns/" + self.name, True)
            with open("/etc/netns/%s/%s" % (self.name, name), "w") as f:
                f.write(text)
            if not os.path.exists(
                "/etc/" + name
            ):  # the place to bind it to; an empty file in the meantime
                open("/etc/" + name, "x").close()
                test.addCleanup(os.remove, "/etc/" + name)
        self.run("ip", "link", "set", "lo", "up")

    def cmd(self, *args):
        return ["ip", "netns", "exec", self.name, *args]

    def run(self, *args, **kw):
        return run(*self.cmd(*args), **kw)

    def receiver(self, port=4000):
        """A socket of this namespace on a UDP port."""
        with open("/proc/self/ns/net") as home, open("/run/netns/" + self.name) as there:
            assert _libc.setns(there.fileno(), CLONE_NEWNET) == 0
            try:
                s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            finally:
                assert _libc.setns(home.fileno(), CLONE_NEWNET) == 0
        s.setsockopt(socket.SOL_IP, 8, 1)  # IP_PKTINFO
        s.bind(("", port))
        s.settimeout(0.3)
        return s


def received(s):
    """What came to a receiver: (source, source port, destination, payload hex) each."""
    got = []
    try:
        while True:
            data, anc, _, src = s.recvmsg(2048, 64)
            got.append((src[0], src[1], socket.inet_ntoa(anc[0][2][8:12]), data.hex()))
    except socket.timeout:
        s.close()
    return got


class Net:
    """A sender namespace linked to namespace b (10.77.1.0/24, the default route)
    and, with two links, to c (10.77.2.0/24, also the way to 10.88.0.0/16)."""

    S_B, B, S_C, C = "10.77.1.1", "10.77.1.2", "10.77.2.1", "10.77.2.2"

    def __init__(self, test, links=2, default=True, etc=None):
        self.sender, self.b = Namespace(test, etc), Namespace(test)
        self.join(self.b, "b", self.S_B, self.B)
        if links == 2:
            self.c = Namespace(test)
            self.join(self.c, "c", self.S_C, self.C)
            self.sender.run("ip", "route", "add", "10.88.0.0/16", "via", self.C)
        if default:
            self.sender.run("ip", "route", "add", "default", "via", self.B)

    def join(self, peer, name, my_ip, peer_ip):
        run(
            "ip",
            "link",
            "add",
            "s" + name,
            "netns",
            self.sender.name,
            "type",
            "veth",
            "peer",
            "name",
            "p" + name,
            "netns",
            peer.name,
        )
        for ns, dev, ip in ((self.sender, "s" + name, my_ip), (peer, "p" + name, peer_ip)):
            ns.run(
                "ip",
                "-batch",
                "-",
                input="addr add %s/24 dev %s\nlink set %s up\n" % (ip, dev, dev),
            )
        for ns, dev in ((self.sender, "s" + name), (peer, "p" + name)):  # ready to carry packets
            ns.run(
                "sh",
                "-c",
                "until ip link show %s | grep -q 'noqueue state UP'; do sleep 0.05; done" % dev,
            )

    def b_mac(self):
        return (
            self.b.run("cat", "/sys/class/net/pb/address").stdout.strip().replace(":", "").upper()
        )


# A window a fault keeps open ends after a minute.
_WINDOW = """timeout 60 "$0" $2 & pid=$!
wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^NUVIK ' | head -n 1)
[ -n "$wid" ] || { kill $pid; exit 97; }
xdotool windowfocus --sync "$wid" sleep 0.3 key --clearmodifiers $1
wait $pid"""


def window(nuvik, keys, home, ns=None, cwd=None, redirect=""):
    """The window run under Xvfb in a namespace (a new one unless given), closed by the keys.

    redirect: for the program, such as "2>&-" (started with standard error closed)."""
    # -noreset: the display check connects and leaves first; a server reset then refuses the next client.
    return run(
        *(ns.cmd() if ns else ["unshare", "-n"]),
        "xvfb-run",
        "-n",
        str(100 + os.getpid() % 9000),
        "-a",
        "-s",
        "-screen 0 1024x768x24 -nolisten tcp -noreset",
        "sh",
        "-c",
        _WINDOW.replace("$2", redirect),
        nuvik,
        keys,
        check=False,
        cwd=cwd,
        env={"PATH": "/usr/bin:/bin", "HOME": home, "LANG": "C.UTF-8"}
    )


class Lan:
    """A scanner namespace with a bridge (br0, 10.66.0.1/prefix) and one namespace
    per host on it: host i at 10.66.0.(10 + i) with hardware address 02:66:00:00:00:i."""

    def __init__(self, test, hosts, prefix=24, etc=None):
        self.scanner = Namespace(test, etc)
        self.scanner.run(
            "ip",
            "-batch",
            "-",
            input="link add br0 type bridge\naddr add 10.66.0.1/%d dev br0\n"
            "link set br0 up\n" % prefix,
        )
        self.hosts = []
        for i in range(hosts):
            ns, ip = Namespace(test), "10.66.0.%d" % (10 + i)
            run(
                "ip",
                "link",
                "add",
                "h%d" % i,
                "netns",
                self.scanner.name,
                "type",
                "veth",
                "peer",
                "name",
                "eth0",
                "netns",
                ns.name,
            )
            ns.run(
                "ip",
                "-batch",
                "-",
                input="link set eth0 address 02:66:00:00:00:%02x\naddr add %s/%d dev eth0\n"
                "link set eth0 up\n" % (i, ip, prefix),
            )
            self.scanner.run("ip", "link", "set", "h%d" % i, "master", "br0", "up")
            self.hosts.append((ns, ip, "0266000000%02X" % i))
        self.scanner.run(
            "sh", "-c", "until ip link show br0 | grep -q 'state UP'; do sleep 0.05; done"
        )
