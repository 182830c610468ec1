"""Address discovery and name lookup through the probe tests/nuvik_discover, end to end."""
import os
import unittest

import nsutil

HOSTS = "127.0.0.1 localhost\n10.77.1.2 peer.nuvik.test peer\n10.77.1.4 other.nuvik.test\n"


class Discovery(unittest.TestCase):
    def setUp(self):
        _, build = nsutil.require(self, "setpriv", "sysctl")
        self.tool = os.path.join(build, "tests", "nuvik_discover")
        # No DNS: the resolver reads the hosts file only.
        self.net = nsutil.Net(
            self, links=1, default=False, etc={"hosts": HOSTS, "nsswitch.conf": "hosts: files\n"}
        )

    def check(self, *args, user=(), tool=None, **expected):
        result = self.net.sender.run(*user, tool or self.tool, *args, check=False)
        fields = dict(
            (line.split(" ", 1) for line in result.stdout.splitlines()), code=result.returncode
        )
        self.assertEqual({key: fields.get(key) for key in expected}, expected, fields)
        return fields

    def test_as_root_by_raw_socket(self):
        peer = self.net.b_mac()
        self.check(self.net.B, code=0, mac=peer, way="raw")
        # Ended by the neighbour entry: resolved, or failed for an address nobody holds.
        self.net.b.run("sysctl", "-qw", "net.ipv4.icmp_echo_ignore_all=1")
        self.net.sender.run("ip", "neigh", "flush", "all")
        self.check(self.net.B, code=0, mac=peer, end="entry")
        self.check("10.77.1.99", code=1, mac="", end="entry")
        # More entries than one netlink message holds; the target's own is looked at first.
        self.net.sender.run(
            "ip",
            "-batch",
            "-",
            input="".join(
                "neigh add 10.77.1.%d lladdr 02:00:00:00:01:%02x dev sb nud permanent\n" % (i, i)
                for i in range(100, 250)
            ),
        )
        self.assertGreater(int(self.check(self.net.B, code=0, mac=peer)["rows"]), 150)
        self.check("10.77.1.120", code=0, mac="020000000178", end="entry")

    def test_lookup_reads_the_hosts_file(self):
        self.check("--name", "peer", code=0, name="peer.nuvik.test", addr="10.77.1.2")
        self.check("--addr", "10.77.1.4", code=0, name="other.nuvik.test")
        # No name: an error, never the address given back as text.
        for args in (["--addr", "10.77.1.50"], ["--name", "absent.nuvik.test"]):
            self.check(*args, code=1, name=None)


if __name__ == "__main__":
    unittest.main()
