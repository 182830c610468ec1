"""Hardware address discovery and name lookup, end to end, inside private
network namespaces: one echo request, the neighbour table, the resolver."""
import os
import shutil
import stat
import tempfile
import time
import unittest

import nsutil

NOBODY = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]


def discover_bin():
    build = os.environ.get("NUVIK_BUILD_DIR")
    if not build:
        raise unittest.SkipTest("NUVIK_BUILD_DIR is not set (run through ctest)")
    return os.path.join(build, "tests", "nuvik_discover")


def parse(out):
    fields = {}
    for line in out.splitlines():
        key, _, value = line.partition(" ")
        fields.setdefault(key, value)
    return fields


class DiscoveryCase(unittest.TestCase):
    def setUp(self):
        nsutil.require_namespaces(self)
        self.tool = discover_bin()
        self.net = nsutil.LinkedPair(default_route=False)
        self.addCleanup(self.net.close)

    def discover(self, target, prefix=(), tool=None):
        started = time.monotonic()
        result = self.net.sender.run(*prefix, tool or self.tool, target, check=False, timeout=30)
        elapsed = time.monotonic() - started
        self.assertIn(result.returncode, (0, 1), result.stderr)
        fields = parse(result.stdout)
        self.assertEqual(fields.get("setup"), "1", result.stdout)
        return result.returncode, fields, elapsed

    def sysctl(self, namespace, setting):
        namespace.run("sysctl", "-qw", setting)

    def assert_found_peer(self, code, fields):
        self.assertEqual(code, 0, fields)
        self.assertEqual(fields["mac"], self.net.peer_mac())


class Discovery(DiscoveryCase):
    def test_peer_answering_echo(self):
        code, fields, elapsed = self.discover(self.net.PEER_IP)
        self.assert_found_peer(code, fields)
        self.assertIn(fields["end"], ("replied", "entry"))
        self.assertLess(elapsed, 4.0)

    def test_peer_ignoring_echo_but_answering_arp(self):
        self.sysctl(self.net.peer, "net.ipv4.icmp_echo_ignore_all=1")
        code, fields, elapsed = self.discover(self.net.PEER_IP)
        self.assert_found_peer(code, fields)
        self.assertEqual(fields["end"], "entry")  # ended by the entry, not by waiting out the time
        self.assertLess(elapsed, 4.0)

    def test_absent_address_ends_when_the_kernel_gives_up(self):
        code, fields, elapsed = self.discover("10.77.0.99")
        self.assertEqual(code, 1, fields)
        self.assertEqual(fields["mac"], "")
        self.assertEqual(fields["end"], "entry")
        self.assertGreater(elapsed, 1.0)  # the kernel probes for a while first
        self.assertLess(elapsed, 5.0)     # but not for the whole time-out

    def test_more_than_a_hundred_entries(self):
        lines = ["neigh add 10.77.1.%d lladdr 02:00:00:00:01:%02x dev %s nud permanent"
                 % (i, i, self.net.sender_if) for i in range(1, 151)]
        self.net.sender.run("ip", "-batch", "-", input="\n".join(lines) + "\n")
        code, fields, _ = self.discover(self.net.PEER_IP)
        self.assert_found_peer(code, fields)
        self.assertGreater(int(fields["rows"]), 150)
        code, fields, elapsed = self.discover("10.77.1.120")
        self.assertEqual((code, fields["mac"]), (0, "020000000178"))
        self.assertLess(elapsed, 1.0)  # a permanent entry is known at once

    def test_blank_address(self):
        code, fields, elapsed = self.discover("0.0.0.0")
        self.assertNotEqual(fields["end"], "timeout")
        self.assertLess(elapsed, 5.0)

    def test_routed_target_is_not_ended_by_the_gateway_entry(self):
        self.net.sender.run("ip", "route", "add", "10.88.0.0/16", "via", self.net.PEER_IP)
        self.sysctl(self.net.peer, "net.ipv4.icmp_echo_ignore_all=1")
        code, fields, elapsed = self.discover("10.88.0.5")
        self.assertEqual((code, fields["mac"]), (1, ""))
        self.assertEqual(fields["end"], "timeout")
        self.assertGreater(elapsed, 4.5)


class Privileges(DiscoveryCase):
    """The three ways of sending, by what the system allows."""

    def setUp(self):
        super().setUp()
        # An ordinary user must be able to run the tool from where it lies.
        home = tempfile.mkdtemp(prefix="nuvik-disc-")
        self.addCleanup(shutil.rmtree, home, ignore_errors=True)
        os.chmod(home, 0o755)
        self.user_tool = os.path.join(home, "nuvik_discover")
        shutil.copy(self.tool, self.user_tool)
        os.chmod(self.user_tool, stat.S_IRWXU | stat.S_IRGRP | stat.S_IXGRP | stat.S_IROTH | stat.S_IXOTH)

    def test_ordinary_user_with_ping_sockets_uses_dgram(self):
        self.sysctl(self.net.sender, "net.ipv4.ping_group_range=0 2147483647")
        code, fields, _ = self.discover(self.net.PEER_IP, NOBODY, self.user_tool)
        self.assert_found_peer(code, fields)
        self.assertEqual(fields["way"], "dgram")

    def test_ordinary_user_without_ping_sockets_falls_back_to_udp(self):
        self.sysctl(self.net.sender, "net.ipv4.ping_group_range=1 0")
        code, fields, elapsed = self.discover(self.net.PEER_IP, NOBODY, self.user_tool)
        self.assert_found_peer(code, fields)
        self.assertEqual(fields["way"], "udp")
        self.assertEqual(fields["end"], "entry")
        self.assertLess(elapsed, 4.0)
        code, fields, elapsed = self.discover("10.77.0.99", NOBODY, self.user_tool)
        self.assertEqual((code, fields["mac"], fields["way"]), (1, "", "udp"))
        self.assertLess(elapsed, 5.0)

    def test_root_without_ping_sockets_uses_raw(self):
        self.sysctl(self.net.sender, "net.ipv4.ping_group_range=1 0")
        code, fields, _ = self.discover(self.net.PEER_IP)
        self.assert_found_peer(code, fields)
        self.assertEqual(fields["way"], "raw")


class Lookup(unittest.TestCase):
    """The resolver, given the namespace's own hosts file."""

    HOSTS = ("127.0.0.1 localhost\n"
             "10.77.0.2 peer.nuvik.test peer\n"
             "10.77.0.3 peer.nuvik.test\n"
             "10.77.0.4 other.nuvik.test other\n")

    def setUp(self):
        nsutil.require_namespaces(self)
        self.tool = discover_bin()
        self.ns = nsutil.Namespace("nuvik-r-" + os.urandom(3).hex())
        self.addCleanup(self.ns.delete)
        etc = "/etc/netns/" + self.ns.name
        os.makedirs(etc)
        with open(os.path.join(etc, "hosts"), "w") as f:
            f.write(self.HOSTS)
        with open(os.path.join(etc, "resolv.conf"), "w") as f:
            f.write("nameserver 127.0.0.1\noptions timeout:1 attempts:1\n")  # nothing listens there

    def look_up(self, *args):
        result = self.ns.run(self.tool, *args, check=False, timeout=30)
        return result.returncode, result.stdout.splitlines()

    def test_forward_gives_official_name_and_addresses_in_order(self):
        code, lines = self.look_up("--name", "peer")
        self.assertEqual(code, 0, lines)
        self.assertEqual(lines[0], "name peer.nuvik.test")
        self.assertEqual(lines[1], "addr 10.77.0.2")

    def test_reverse_gives_the_name(self):
        self.assertEqual(self.look_up("--addr", "10.77.0.4"), (0, ["name other.nuvik.test"]))

    def test_reverse_of_unknown_address_fails(self):
        code, lines = self.look_up("--addr", "10.77.0.50")
        self.assertEqual(code, 1)
        self.assertTrue(lines and lines[0].startswith("error "), lines)

    def test_unknown_name_and_name_with_blanks(self):
        code, lines = self.look_up("--name", "absent.nuvik.test")
        self.assertEqual(code, 1)
        self.assertTrue(lines[0].startswith("error "), lines)
        code, _ = self.look_up("--name", " peer")  # passed on as typed, blank and all
        self.assertEqual(code, 1)


if __name__ == "__main__":
    unittest.main()
