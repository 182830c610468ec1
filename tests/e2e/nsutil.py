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

ENV = {"PATH": "/usr/bin:/bin", "LANG": "C.UTF-8"}
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
    """Runs a command: its arguments, or one text of words separated by blanks."""
    args = args[0].split() if len(args) == 1 and " " in args[0] else args
    timeout = kw.pop("timeout", 120)
    result = subprocess.run(args, capture_output=True, text=True, timeout=timeout, **kw)
    if check and result.returncode:
        what = (" ".join(args), result.returncode, result.stderr)
        raise RuntimeError("%s: exit %d: %s" % what)
    return result


def tempdir(test, prefix, program=None):
    """A fresh directory others may enter, removed with all it holds when the test
    ends; with a program, also the path of a copy of it there (where nobody may run it)."""
    path = tempfile.mkdtemp(prefix=prefix)
    test.addCleanup(shutil.rmtree, path)
    os.chmod(path, 0o755)
    return (path, shutil.copy(program, path)) if program else path


def read(path):
    with open(path, "rb") as f:
        return f.read()


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
            if not os.path.exists("/etc/" + name):  # bound over an empty file meanwhile
                open("/etc/" + name, "x").close()
                test.addCleanup(os.remove, "/etc/" + name)
        self.run("ip", "link", "set", "lo", "up")

    def cmd(self, *args):
        return ["ip", "netns", "exec", self.name, *args]

    def run(self, *args, **kw):
        args = args[0].split() if len(args) == 1 and " " in args[0] else args
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

    def until_listening(self, port):
        """Waits until a UDP socket of this namespace is bound to the port."""
        self.run("sh", "-c", "until ss -Hlun 'sport = :%d' | grep -q .; do sleep 0.05; done" % port)


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
            self.sender.run("ip route add 10.88.0.0/16 via " + self.C)
        if default:
            self.sender.run("ip route add default via " + self.B)

    def join(self, peer, name, my_ip, peer_ip):
        pair = "s%s netns %s type veth peer name p%s netns %s"
        run("ip link add " + pair % (name, self.sender.name, name, peer.name))
        for ns, dev, ip in ((self.sender, "s" + name, my_ip), (peer, "p" + name, peer_ip)):
            ns.run("ip", "-batch", "-", input=LINK_UP % (ip, 24, dev, dev))
        for ns, dev in ((self.sender, "s" + name), (peer, "p" + name)):
            ns.run("sh", "-c", UNTIL_UP % (dev, "noqueue state UP"))  # ready to carry packets

    def b_mac(self):
        mac = self.b.run("cat /sys/class/net/pb/address").stdout.strip()
        return mac.replace(":", "").upper()


LINK_UP = "addr add %s/%d dev %s\nlink set %s up\n"
UNTIL_UP = "until ip link show %s | grep -q '%s'; do sleep 0.05; done"

# A window a fault keeps open ends after a minute.
_WINDOW = """timeout 60 "$0" $2 & pid=$!
wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^NUVIK ' | head -n 1)
[ -n "$wid" ] || { kill $pid; exit 97; }
xdotool windowfocus --sync "$wid" sleep 0.3 key --clearmodifiers $1
wait $pid"""


def window(nuvik, keys, home, ns=None, cwd=None, redirect=""):
    """The window run under Xvfb in a namespace (a new one unless given), closed by the keys.

    redirect: for the program, such as "2>&-" (started with standard error closed)."""
    # -noreset: the display check connects and leaves first; a server reset then
    # refuses the next client.
    screen = "-screen 0 1024x768x24 -nolisten tcp -noreset"
    xvfb = ["xvfb-run", "-n", str(100 + os.getpid() % 9000), "-a", "-s", screen]
    env = ENV | {"HOME": home}
    where = ns.cmd() if ns else ["unshare", "-n"]
    script = ["sh", "-c", _WINDOW.replace("$2", redirect), nuvik, keys]
    return run(*where, *xvfb, *script, check=False, cwd=cwd, env=env)


class Lan:
    """A scanner namespace with a bridge (br0, 10.66.0.1/prefix) and one namespace
    per host on it: host i at 10.66.0.(10 + i) with hardware address 02:66:00:00:00:i."""

    def __init__(self, test, hosts, prefix=24, etc=None):
        self.scanner = Namespace(test, etc)
        bridge = "link add br0 type bridge\n" + LINK_UP % ("10.66.0.1", prefix, "br0", "br0")
        self.scanner.run("ip", "-batch", "-", input=bridge)
        self.hosts = []
        for i in range(hosts):
            ns, ip = Namespace(test), "10.66.0.%d" % (10 + i)
            pair = "h%d netns %s type veth peer name eth0 netns %s"
            run("ip link add " + pair % (i, self.scanner.name, ns.name))
            mac = "link set eth0 address 02:66:00:00:00:%02x\n" % i
            ns.run("ip", "-batch", "-", input=mac + LINK_UP % (ip, prefix, "eth0", "eth0"))
            self.scanner.run("ip link set h%d master br0 up" % i)
            self.hosts.append((ns, ip, "0266000000%02X" % i))
        self.scanner.run("sh", "-c", UNTIL_UP % ("br0", "state UP"))
