"""Hardware address discovery and name lookup, end to end, inside private
network namespaces: one echo request, the neighbour table, the resolver."""
import os
import shutil
import tempfile
import time
import unittest

import nsutil

NOBODY = nsutil.NOBODY


def discover_bin():
    build = os.environ.get("NUVIK_BUILD_DIR")
    if not build:
        raise unittest.SkipTest("NUVIK_BUILD_DIR is not set (run through ctest)")
    return os.path.join(build, "tests", "nuvik_discover")


def parse(out):
    fields = {}
    for key, _, value in (line.partition(" ") for line in out.splitlines()):
        fields.setdefault(key, value)
    return fields


class DiscoveryCase(unittest.TestCase):
    def setUp(self):
        nsutil.require_namespaces(self)
        self.tool = discover_bin()
        self.net = nsutil.LinkedPair(default_route=False)
        self.addCleanup(self.net.close)

    def discover(self, target, *prefix, tool=None):
        """The tool's report, with its exit status as "code" and its run time as "elapsed"."""
        started = time.monotonic()
        result = self.net.sender.run(*prefix, tool or self.tool, target, check=False, timeout=30)
        fields = parse(result.stdout)
        self.assertIn(result.returncode, (0, 1), result.stderr)
        self.assertEqual(fields.get("setup"), "1", result.stdout)
        return dict(fields, code=result.returncode, elapsed=time.monotonic() - started)

    def assert_report(self, fields, **expected):
        self.assertEqual({key: fields[key] for key in expected}, expected, fields)

    def sysctl(self, namespace, setting):
        namespace.run("sysctl", "-qw", setting)


class Discovery(DiscoveryCase):
    def test_peer_answering_echo(self):
        fields = self.discover(self.net.PEER_IP)
        # As root, in a new namespace that allows no ping sockets: a raw socket.
        self.assert_report(fields, code=0, mac=self.net.peer_mac(), way="raw")
        self.assertIn(fields["end"], ("replied", "entry"))
        self.assertLess(fields["elapsed"], 4.0)

    def test_peer_ignoring_echo_but_answering_arp(self):
        self.sysctl(self.net.peer, "net.ipv4.icmp_echo_ignore_all=1")
        fields = self.discover(self.net.PEER_IP)
        # Ended by the entry, not by waiting out the time.
        self.assert_report(fields, code=0, mac=self.net.peer_mac(), end="entry")
        self.assertLess(fields["elapsed"], 4.0)

    def test_absent_address_ends_when_the_kernel_gives_up(self):
        fields = self.discover("10.77.0.99")
        self.assert_report(fields, code=1, mac="", end="entry")
        self.assertGreater(fields["elapsed"], 1.0)  # the kernel probes for a while first
        self.assertLess(fields["elapsed"], 5.0)     # but not for the whole time-out

    def test_more_than_a_hundred_entries(self):
        lines = ["neigh add 10.77.1.%d lladdr 02:00:00:00:01:%02x dev %s nud permanent"
                 % (i, i, self.net.sender_if) for i in range(1, 151)]
        self.net.sender.run("ip", "-batch", "-", input="\n".join(lines) + "\n")
        fields = self.discover(self.net.PEER_IP)
        self.assert_report(fields, code=0, mac=self.net.peer_mac())
        self.assertGreater(int(fields["rows"]), 150)
        fields = self.discover("10.77.1.120")
        self.assert_report(fields, code=0, mac="020000000178")
        self.assertLess(fields["elapsed"], 1.0)  # a permanent entry is known at once

    def test_routed_target_is_not_ended_by_the_gateway_entry(self):
        self.net.sender.run("ip", "route", "add", "10.88.0.0/16", "via", self.net.PEER_IP)
        self.sysctl(self.net.peer, "net.ipv4.icmp_echo_ignore_all=1")
        fields = self.discover("10.88.0.5")
        self.assert_report(fields, code=1, mac="", end="timeout")
        self.assertGreater(fields["elapsed"], 4.5)


class Privileges(DiscoveryCase):
    """An ordinary user's ways of sending, by what the system allows."""

    def as_nobody(self, target):
        # An ordinary user must be able to run the tool from where it lies.
        home = tempfile.mkdtemp(prefix="nuvik-disc-")
        self.addCleanup(shutil.rmtree, home, ignore_errors=True)
        os.chmod(home, 0o755)
        tool = shutil.copy(self.tool, home)
        os.chmod(tool, 0o755)
        return self.discover(target, *NOBODY, tool=tool)

    def test_ordinary_user_with_ping_sockets_uses_dgram(self):
        self.sysctl(self.net.sender, "net.ipv4.ping_group_range=0 2147483647")
        self.assert_report(self.as_nobody(self.net.PEER_IP), code=0, mac=self.net.peer_mac(), way="dgram")

    def test_ordinary_user_without_ping_sockets_falls_back_to_udp(self):
        self.sysctl(self.net.sender, "net.ipv4.ping_group_range=1 0")
        fields = self.as_nobody(self.net.PEER_IP)
        self.assert_report(fields, code=0, mac=self.net.peer_mac(), way="udp", end="entry")
        self.assertLess(fields["elapsed"], 4.0)
        fields = self.as_nobody("10.77.0.99")
        self.assert_report(fields, code=1, mac="", way="udp")
        self.assertLess(fields["elapsed"], 5.0)


class Lookup(unittest.TestCase):
    """The resolver, given the namespace's own hosts file."""

    def setUp(self):
        nsutil.require_namespaces(self)
        self.tool = discover_bin()
        self.ns = nsutil.Namespace("nuvik-r-" + os.urandom(3).hex())
        self.addCleanup(self.ns.delete)
        etc = "/etc/netns/" + self.ns.name
        os.makedirs(etc)
        with open(os.path.join(etc, "hosts"), "w") as f:
            f.write("127.0.0.1 localhost\n10.77.0.2 peer.nuvik.test peer\n"
                    "10.77.0.3 peer.nuvik.test\n10.77.0.4 other.nuvik.test other\n")
        with open(os.path.join(etc, "resolv.conf"), "w") as f:
            f.write("nameserver 127.0.0.1\noptions timeout:1 attempts:1\n")  # nothing listens there

    def look_up(self, *args):
        result = self.ns.run(self.tool, *args, check=False, timeout=30)
        return result.returncode, result.stdout.splitlines()

    def test_forward_gives_official_name_and_addresses_in_order(self):
        code, lines = self.look_up("--name", "peer")
        self.assertEqual((code, lines[:2]), (0, ["name peer.nuvik.test", "addr 10.77.0.2"]), lines)

    def test_reverse_gives_the_name(self):
        self.assertEqual(self.look_up("--addr", "10.77.0.4"), (0, ["name other.nuvik.test"]))

    def test_unknown_address_or_name_fails(self):
        for args in (("--addr", "10.77.0.50"), ("--name", "absent.nuvik.test")):
            code, lines = self.look_up(*args)
            self.assertEqual(code, 1, args)
            self.assertTrue(lines and lines[0].startswith("error "), lines)
        self.assertEqual(self.look_up("--name", " peer")[0], 1)  # passed on as typed, blank and all


if __name__ == "__main__":
    unittest.main()
