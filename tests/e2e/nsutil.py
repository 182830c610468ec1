"""Private network namespaces for end-to-end tests.

Everything the program under test sends stays inside namespaces made here:
a sender namespace and a receiver namespace joined by a veth pair, with a
default route in the sender's namespace so that 255.255.255.255 leaves
through the pair. Needs root; without it the tests are skipped on a
developer's machine, and fail in CI (CI=true), where they must run.
"""
import json
import os
import shutil
import subprocess
import sys
import unittest
import uuid

HERE = os.path.dirname(os.path.abspath(__file__))
PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable
NOBODY = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]


def require_namespaces(test_case):
    """Skip (developer machine) or fail (CI) when namespaces can't be made."""
    reason = None
    if os.geteuid() != 0:
        reason = "namespace tests need root"
    elif shutil.which("ip") is None:
        reason = "the ip command (iproute2) is missing"
    else:
        probe = subprocess.run(["unshare", "-n", "true"], capture_output=True)
        if probe.returncode != 0:
            reason = "cannot create a network namespace: " + probe.stderr.decode().strip()
    if reason is None:
        return
    if os.environ.get("CI"):
        test_case.fail(reason + " (CI must run these tests)")
    raise unittest.SkipTest(reason)


def run(*args, check=True, **kw):
    result = subprocess.run(list(args), capture_output=True, text=True, **kw)
    if check and result.returncode != 0:
        raise RuntimeError("%s: exit %d: %s" % (" ".join(args), result.returncode, result.stderr.strip()))
    return result


class Namespace:
    def __init__(self, name):
        self.name = name
        run("ip", "netns", "add", name)
        run("ip", "-n", name, "link", "set", "lo", "up")

    def cmd(self, *args):
        return ["ip", "netns", "exec", self.name, *args]

    def run(self, *args, check=True, **kw):
        return run(*self.cmd(*args), check=check, **kw)

    def delete(self):
        run("ip", "netns", "delete", self.name, check=False)
        shutil.rmtree("/etc/netns/" + self.name, ignore_errors=True)


def join(a, a_if, a_ip, b, b_if, b_ip):
    """A veth pair between namespaces a and b, each end up with its /24 address."""
    run("ip", "link", "add", a_if, "netns", a.name, "type", "veth", "peer", "name", b_if, "netns", b.name)
    for ns, name, ip in ((a, a_if, a_ip), (b, b_if, b_ip)):
        ns.run("ip", "addr", "add", ip + "/24", "dev", name)
        ns.run("ip", "link", "set", name, "up")


class LinkedPair:
    """Two namespaces on one link: sender 10.77.0.1/24, peer 10.77.0.2/24."""

    SENDER_IP = "10.77.0.1"
    PEER_IP = "10.77.0.2"

    def __init__(self, default_route=True):
        tag = uuid.uuid4().hex[:6]
        self.sender = Namespace("nuvik-s-" + tag)
        self.peer = Namespace("nuvik-p-" + tag)
        try:
            self.sender_if, self.peer_if = "vs" + tag, "vp" + tag
            join(self.sender, self.sender_if, self.SENDER_IP, self.peer, self.peer_if, self.PEER_IP)
            if default_route:
                self.sender.run("ip", "route", "add", "default", "via", self.PEER_IP)
        except Exception:
            self.close()
            raise

    def peer_mac(self):
        out = self.peer.run("cat", "/sys/class/net/%s/address" % self.peer_if).stdout
        return out.strip().replace(":", "").upper()

    def close(self):
        self.sender.delete()
        self.peer.delete()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


class TwoLinks:
    """A sender on two links, to namespace b (10.77.1.0/24) and to namespace c
    (10.77.2.0/24), with its default route via b and 10.88.0.0/16 through a
    gateway on c."""

    SENDER_B, B_IP = "10.77.1.1", "10.77.1.2"
    SENDER_C, C_IP = "10.77.2.1", "10.77.2.2"

    def __init__(self):
        tag = uuid.uuid4().hex[:6]
        self.sender = Namespace("nuvik-s-" + tag)
        self.b = Namespace("nuvik-b-" + tag)
        self.c = Namespace("nuvik-c-" + tag)
        try:
            join(self.sender, "sb" + tag, self.SENDER_B, self.b, "bs" + tag, self.B_IP)
            join(self.sender, "sc" + tag, self.SENDER_C, self.c, "cs" + tag, self.C_IP)
            self.sender.run("ip", "route", "add", "default", "via", self.B_IP)
            self.sender.run("ip", "route", "add", "10.88.0.0/16", "via", self.C_IP)
        except Exception:
            self.close()
            raise

    def close(self):
        for ns in (self.sender, self.b, self.c):
            ns.delete()


class Receiver:
    """UDP receiver on port 4000 in a namespace; records every datagram."""

    def __init__(self, namespace, port=4000, wait=3):
        self.proc = subprocess.Popen(
            namespace.cmd(PYTHON, os.path.join(HERE, "udp_receiver.py"), str(port), str(wait)),
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        ready = self.proc.stdout.readline()
        if ready.strip() != "ready":
            self.proc.kill()
            raise RuntimeError("receiver did not start: " + ready + self.proc.stderr.read())

    def datagrams(self, settle=0.5):
        """Stops the receiver after a short quiet period; returns what came."""
        try:
            out, _ = self.proc.communicate(input=None, timeout=settle + 10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            out, _ = self.proc.communicate()
        return [json.loads(line) for line in out.splitlines() if line.strip()]


def nuvik_bin():
    path = os.environ.get("NUVIK_BIN")
    if not path:
        raise unittest.SkipTest("NUVIK_BIN is not set (run through ctest)")
    return path
